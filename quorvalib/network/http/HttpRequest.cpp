#include "quorvalib/network/http/HttpRequest.h"

#include "common/debug/Log.h"
#include "quorvalib/network/http/HttpTaskSlot.h"

TOV_DEFINE_LOG_CHANNEL(HttpRequest);

namespace quorvalib::network::http {

HttpRequest::~HttpRequest() = default;

bool HttpRequest::SetUrl(const std::string& url) {
    url_ = url;
    return true;
}

void HttpRequest::AddParameter(const std::string& name, const std::string& value) {
    if (name.empty()) {
        TOV_LOG_ERROR(HttpRequest, "Request parameter must have name.");
        return;
    }
    parameters_.emplace_back(name, value);
}

void HttpRequest::AddParameter(const char* name, const char* value) {
    const std::string nameText = name ? name : "";
    if (nameText.empty()) {
        TOV_LOG_ERROR(HttpRequest, "Request parameter must have name.");
        return;
    }
    if (!value) {
        TOV_LOG_WARNING(HttpRequest, "Request parameter '%s' with NULL value.", nameText);
        value = "";
    }
    AddParameter(nameText, std::string(value));
}

void HttpRequest::SetManager(std::weak_ptr<HttpDownloadManager> manager,
                             std::shared_ptr<HttpTaskSlot> slot) {
    manager_ = std::move(manager);
    slot_ = std::move(slot);
}

void HttpRequest::Release() {
    if (slot_) slot_->Leave(this);
    output_.reset();
    delete this;  // a started request ends its own life here, on its transfer's thread
}

std::string HttpRequest::Describe() const {
    std::string text = get_ ? "GET" : "POST";
    text += ": " + url_ + ", parameters: [";
    for (const auto& [name, value] : parameters_) text += name + ": " + value + ", ";
    text += "]";
    return text;
}

}  // namespace quorvalib::network::http
