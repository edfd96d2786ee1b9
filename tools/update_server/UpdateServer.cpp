#include "tools/update_server/UpdateServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "common/debug/Log.h"
#include "tools/update_server/CatalogueWriter.h"
#include "tools/update_server/RepositoryLoader.h"

TOV_DEFINE_LOG_CHANNEL(UpdateServer);

namespace update_server {
namespace {

constexpr char kReadyPath[] = "/.update-server-ready";
constexpr size_t kChunkSize = 64 * 1024;

struct ByteRange {
    uint64_t first = 0;
    uint64_t last = 0;  // inclusive
};

enum class RangeAnswer { kWhole, kPart, kUnsatisfiable };

// One range is answered with 206; several are answered with the whole file, which HTTP allows.
RangeAnswer ResolveRange(const httplib::Ranges& ranges, uint64_t size, ByteRange& range) {
    if (ranges.size() != 1) return RangeAnswer::kWhole;
    const auto [first, last] = ranges.front();
    if (first < 0) {  // suffix: the last `last` bytes
        if (last <= 0 || size == 0) return RangeAnswer::kUnsatisfiable;
        const uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(last), size);
        range = {size - count, size - 1};
        return RangeAnswer::kPart;
    }
    if (static_cast<uint64_t>(first) >= size || (last >= 0 && last < first)) {
        return RangeAnswer::kUnsatisfiable;
    }
    range.first = static_cast<uint64_t>(first);
    range.last = last < 0 ? size - 1 : std::min<uint64_t>(static_cast<uint64_t>(last), size - 1);
    return RangeAnswer::kPart;
}

bool IsPlainHost(const std::string& host) {
    return !host.empty() && host.size() < 256 &&
           std::all_of(host.begin(), host.end(), [](unsigned char c) {
               return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
           });
}

}  // namespace

UpdateServer::UpdateServer(std::string repository) : repository_(std::move(repository)) {}

UpdateServer::~UpdateServer() { Stop(); }

std::string UpdateServer::BaseUrl() const {
    const bool v6 = host_.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
}

void UpdateServer::SetFileRequestObserver(std::function<void(const std::string&)> observer) {
    std::lock_guard guard(lock_);
    observer_ = std::move(observer);
}

std::shared_ptr<const Catalogue> UpdateServer::CurrentCatalogue() {
    std::lock_guard guard(lock_);
    // Taken before the load: a change while loading shows at the next request.
    std::string signature = RepositoryLoader::Signature(repository_);
    if (catalogue_ && signature == signature_) return catalogue_;
    signature_ = std::move(signature);
    auto catalogue = std::make_shared<Catalogue>();
    std::string error;
    if (!RepositoryLoader::Load(repository_, *catalogue, error)) {
        TOV_LOG_ERROR(UpdateServer, "Repository '%s' cannot be used: %s", repository_, error);
        if (!catalogue_) error_ = error;
        return catalogue_;  // the last good catalogue stays in service
    }
    for (const std::string& problem : catalogue->problems) {
        TOV_LOG_WARNING(UpdateServer, "Package left out: %s", problem);
    }
    TOV_LOG_INFO(UpdateServer, "Catalogue of '%s' %s: %d packages, %d groups.", repository_,
                 catalogue_ ? "rebuilt" : "built", catalogue->packages.size(),
                 catalogue->groups.size());
    catalogue_ = std::move(catalogue);
    return catalogue_;
}

bool UpdateServer::Start(const std::string& host, int port) {
    Stop();
    error_.clear();
    {
        std::lock_guard guard(lock_);
        catalogue_.reset();
        signature_.clear();
    }
    if (!CurrentCatalogue()) return false;

    server_ = std::make_unique<httplib::Server>();
    // The library's default adds SO_REUSEPORT, which lets a second server bind the same port
    // and take part of its requests; restarting on a port in TIME_WAIT only needs SO_REUSEADDR.
    server_->set_socket_options([](int socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server_->Get(kReadyPath, [](const httplib::Request&, httplib::Response& response) {
        response.status = 204;
    });
    const auto catalogue = [this](const httplib::Request& request, httplib::Response& response) {
        _AnswerCatalogue(request, response);
    };
    server_->Get(kCataloguePath, catalogue);
    server_->Get(kCatalogueAltPath, catalogue);
    server_->Post(kCataloguePath, catalogue);
    server_->Post(kCatalogueAltPath, catalogue);
    server_->Get("/files/.*", [this](const httplib::Request& request, httplib::Response& response) {
        _AnswerFile(request, response);
    });
    server_->set_logger([](const httplib::Request& request, const httplib::Response& response) {
        if (request.path == kReadyPath) return;
        const std::string length = response.get_header_value("Content-Length");
        TOV_LOG_INFO(UpdateServer, "%s %s %s -> %d (%s bytes)", request.remote_addr,
                     request.method, request.target, response.status,
                     length.empty() ? std::string("?") : length);
    });

    const int bound = port == 0 ? server_->bind_to_any_port(host)
                                : (server_->bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        error_ = "cannot listen on " + host + ":" + std::to_string(port);
        TOV_LOG_ERROR(UpdateServer, "Cannot listen on %s:%d.", host, port);
        server_.reset();
        return false;
    }
    host_ = host;
    port_ = bound;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() is lost before the accept loop runs; one answered request proves it runs.
    httplib::Client probe(host_, port_);
    if (!probe.Get(kReadyPath)) {
        error_ = "the server did not answer on " + BaseUrl();
        TOV_LOG_ERROR(UpdateServer, "The server did not answer on %s.", BaseUrl());
        server_->stop();
        thread_.join();
        server_.reset();
        return false;
    }
    TOV_LOG_INFO(UpdateServer, "Serving '%s' at %s/", repository_, BaseUrl());
    return true;
}

void UpdateServer::Stop() {
    if (!thread_.joinable()) return;
    server_->stop();
    thread_.join();
    server_.reset();
    TOV_LOG_INFO(UpdateServer, "Stopped serving '%s'.", repository_);
}

void UpdateServer::RequestStop() {
    if (server_) server_->stop();
}

std::string UpdateServer::_ServerUrlFor(const httplib::Request& request) const {
    // The address the client used reaches this server; the bound one may be a wildcard.
    const std::string host = request.get_header_value("Host");
    return IsPlainHost(host) ? "http://" + host : BaseUrl();
}

void UpdateServer::_AnswerCatalogue(const httplib::Request& request,
                                    httplib::Response& response) {
    const auto catalogue = CurrentCatalogue();
    const std::string platform = request.get_param_value("platform");
    // A request that names no platform gets everything.
    if (!platform.empty() && !catalogue->ServesPlatform(platform)) {
        response.set_content(
            CatalogueWriter::WriteError(kUnsupportedPlatform, "Unsupported platform",
                                        "This update server has no packages for platform '" +
                                            platform + "'."),
            "text/xml; charset=utf-8");
        return;
    }
    response.set_content(CatalogueWriter::Write(*catalogue, _ServerUrlFor(request),
                                                request.get_param_value("lang")),
                         "text/xml; charset=utf-8");
}

void UpdateServer::_AnswerFile(const httplib::Request& request, httplib::Response& response) {
    const std::string urlPath = request.path.substr(std::char_traits<char>::length(kFilesPrefix));
    std::function<void(const std::string&)> observer;
    {
        std::lock_guard guard(lock_);
        observer = observer_;
    }
    if (observer) observer(urlPath);

    // The library applies ranges without checking them against the size; this handler answers
    // them itself, so the library must see none.
    const httplib::Ranges ranges = request.ranges;
    const_cast<httplib::Request&>(request).ranges.clear();

    const auto catalogue = CurrentCatalogue();
    const CatalogueFile* file = catalogue ? catalogue->FindFile(urlPath) : nullptr;
    auto stream = std::make_shared<std::ifstream>();
    std::error_code ec;
    uint64_t size = 0;
    if (file) {
        size = std::filesystem::file_size(file->sourcePath, ec);
        if (!ec) stream->open(file->sourcePath, std::ios::binary);
    }
    if (!file || ec || !*stream) {
        response.status = 404;
        response.set_content("Not found\n", "text/plain");
        return;
    }

    ByteRange range{0, size == 0 ? 0 : size - 1};
    switch (ResolveRange(ranges, size, range)) {
        case RangeAnswer::kUnsatisfiable:
            response.status = 416;
            response.set_header("Content-Range", "bytes */" + std::to_string(size));
            return;
        case RangeAnswer::kPart:
            response.status = 206;
            response.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                     std::to_string(range.last) + "/" +
                                                     std::to_string(size));
            break;
        case RangeAnswer::kWhole:
            response.status = 200;
            break;
    }
    response.set_header("Accept-Ranges", "bytes");
    if (size == 0) {
        response.set_content("", "application/octet-stream");
        return;
    }
    const uint64_t length = range.last - range.first + 1;
    const uint64_t start = range.first;
    response.set_content_provider(
        length, "application/octet-stream",
        [stream, start](size_t offset, size_t wanted, httplib::DataSink& sink) {
            std::vector<char> buffer(std::min(wanted, kChunkSize));
            stream->seekg(static_cast<std::streamoff>(start + offset));
            stream->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            const auto got = static_cast<size_t>(stream->gcount());
            // A file that shrank under us ends the connection rather than sending garbage.
            if (got == 0) return false;
            return sink.write(buffer.data(), got);
        });
}

}  // namespace update_server
