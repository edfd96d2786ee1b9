#pragma once

// A Boost.Iostreams device over a shared Afile, and the stream made from it. The file must be
// open; the stream never closes it (its owners do). A failed read or write sets the stream's
// badbit; nothing is thrown to the caller unless the caller asks the stream for exceptions.

#include <ios>
#include <memory>

#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/positioning.hpp>
#include <boost/iostreams/stream.hpp>

#include "quorvalib/files/Afile.h"

class AfileDevice {
public:
    using char_type = char;
    using category = boost::iostreams::seekable_device_tag;

    explicit AfileDevice(std::shared_ptr<Afile> file) : file_(std::move(file)) {}

    std::streamsize read(char* buffer, std::streamsize count);
    std::streamsize write(const char* data, std::streamsize count);
    std::streampos seek(boost::iostreams::stream_offset offset, std::ios_base::seekdir way);

    const std::shared_ptr<Afile>& File() const { return file_; }

private:
    std::shared_ptr<Afile> file_;
};

using AfileStream = boost::iostreams::stream<AfileDevice>;
