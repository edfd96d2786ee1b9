#pragma once

// The update server: answers the catalogue request and serves the files of one repository
// over HTTP. The catalogue is built at start and rebuilt when a stat check at the next request
// sees that the repository changed.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tools/update_server/Catalogue.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace update_server {

class UpdateServer {
public:
    // Paths the catalogue is answered at (with any parameters); files live below kFilesPrefix.
    static constexpr const char* kCataloguePath = "/";
    static constexpr const char* kCatalogueAltPath = "/catalogue";
    static constexpr const char* kFilesPrefix = "/files/";
    // The error element's code for a platform this repository does not serve.
    static constexpr int kUnsupportedPlatform = 1;

    explicit UpdateServer(std::string repository);
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // Builds the catalogue and listens on host:port (port 0: a free one). False, with the
    // reason in Error() and in the log, when the repository cannot be read or the address
    // cannot be bound.
    bool Start(const std::string& host, int port);
    // Stops listening; requests in progress are finished first. Start may be called again.
    void Stop();
    // Stops accepting connections and ends each open one after its current request, without
    // waiting; safe inside a request handler (Stop, which waits for them, is not).
    void RequestStop();

    bool Running() const { return thread_.joinable(); }
    int Port() const { return port_; }
    // "http://<host>:<port>"
    std::string BaseUrl() const;
    const std::string& Error() const { return error_; }

    // The catalogue after a stat check of the repository, rebuilt when something changed.
    std::shared_ptr<const Catalogue> CurrentCatalogue();

    // Called on the server's thread for every file request before it is answered.
    void SetFileRequestObserver(std::function<void(const std::string& urlPath)> observer);

private:
    void _AnswerCatalogue(const httplib::Request& request, httplib::Response& response);
    void _AnswerFile(const httplib::Request& request, httplib::Response& response);
    std::string _ServerUrlFor(const httplib::Request& request) const;

    const std::string repository_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::string host_;
    int port_ = -1;
    std::string error_;

    std::mutex lock_;  // guards the fields below
    std::string signature_;
    std::shared_ptr<const Catalogue> catalogue_;
    std::function<void(const std::string&)> observer_;
};

}  // namespace update_server
