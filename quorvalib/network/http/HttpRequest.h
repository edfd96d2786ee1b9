#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace quorvalib::network::http {

class HttpDownloadManager;
struct HttpTaskSlot;

// Buffer for a file stream that receives a download: with the stream's default (4 KiB) a
// large download runs about a quarter slower than with this (bench/download).
inline constexpr std::streamsize kDownloadStreamBuffer = 64 * 1024;

// One transfer: URL, parameters and the stream that receives the body. Made by the download
// manager's factory; after a successful Start it belongs to its own transfer, which reports
// the end to the manager and then calls Release.
class HttpRequest {
public:
    using Parameters = std::vector<std::pair<std::string, std::string>>;

    explicit HttpRequest(uint64_t id) : id_(id) {}
    virtual ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    virtual bool SetUrl(const std::string& url);
    virtual const std::string& GetUrl() const { return url_; }
    // An empty name is refused (logged at Error); duplicates are kept in order.
    virtual void AddParameter(const std::string& name, const std::string& value);
    // A null name counts as empty; a null value is sent empty (logged at Warning).
    virtual void AddParameter(const char* name, const char* value);
    virtual const Parameters& GetParameters() const { return parameters_; }

    // Begins the transfer.
    virtual bool Start() = 0;
    // Asks the transfer to stop; true when it had already ended.
    virtual bool Cancel() = 0;
    // Drops the output stream and deletes the request (called by its transfer when it ends).
    virtual void Release();

    uint64_t Id() const { return id_; }
    // GET when set, POST when clear (the default); used in log text.
    bool IsGet() const { return get_; }
    void SetGet(bool get) { get_ = get; }
    const std::shared_ptr<std::ostream>& Output() const { return output_; }
    void SetOutput(std::shared_ptr<std::ostream> output) { output_ = std::move(output); }
    const std::weak_ptr<HttpDownloadManager>& Manager() const { return manager_; }
    void SetManager(std::weak_ptr<HttpDownloadManager> manager, std::shared_ptr<HttpTaskSlot> slot);

    // "GET: <url>, parameters: [a: 1, b: 2, ]", for log lines.
    std::string Describe() const;

private:
    const uint64_t id_;
    bool get_ = false;
    std::string url_;
    Parameters parameters_;
    std::shared_ptr<std::ostream> output_;
    std::weak_ptr<HttpDownloadManager> manager_;
    std::shared_ptr<HttpTaskSlot> slot_;
};

}  // namespace quorvalib::network::http
