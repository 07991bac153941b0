// The desktop API's connection: which requests it answers and how, who may
// make them (the session rule), the form bodies, the spreadsheet and store
// downloads, and the upload that replaces the ledger.
//
// Open to anyone on the network: the login, the settings script
// ("/varnelBook/initVar.js"), the connectivity test, the login page and the
// client's own files. Everything else that reads or changes the ledger
// (the API, both downloads, the upload) needs the session of the last login
// while the password is on: the API and the downloads answer 403 without
// it, the upload is refused before its body is read, and the pages give the
// login page instead.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "model/ledger.h"
#include "web/desktop_access.h"
#include "web/desktop_api.h"
#include "web/http_connection.h"
#include "web/store_upload.h"

namespace varnel::web {

struct DesktopSettings {
  // Where the client's files come from (see PageSettings): "" for this
  // server's own document root.
  std::string assetsBase;
  // The largest ledger file an upload may bring.
  uint64_t maxUploadBytes = uint64_t{1} << 30;
  // The largest form body of the other requests.
  uint64_t maxFormBytes = uint64_t{1} << 20;
};

// What every connection of one server shares: the ledger (which an upload
// replaces), the password and the session.
class DesktopService {
 public:
  DesktopService(std::unique_ptr<Ledger>& ledger, DesktopAccess access, DesktopSettings settings = {});

  Ledger& ledger();
  std::unique_ptr<Ledger>& ledgerHandle() { return ledger_; }
  DesktopAccess& access() { return access_; }
  const DesktopSettings& settings() const { return settings_; }
  DesktopApi& api() { return api_; }

  // Installs MyHTTPConnection on `server`, bound to this service (which
  // must outlive the server's connections).
  void installOn(class HTTPServer& server);

 private:
  std::unique_ptr<Ledger>& ledger_;
  DesktopAccess access_;
  DesktopSettings settings_;
  DesktopApi api_;
};

class MyHTTPConnection : public HTTPConnection {
 public:
  MyHTTPConnection(std::unique_ptr<HTTPTransport> socket, HTTPServer& server, DesktopService& service);
  ~MyHTTPConnection() override;

 protected:
  // "POST" for every path, and "GET" and "HEAD".
  bool supportsMethod(std::string_view method, std::string_view path) override;
  std::unique_ptr<HTTPResponse> httpResponseForMethod(std::string_view method, std::string_view uri) override;
  bool prepareForBodyWithSize(uint64_t contentLength) override;
  void processDataChunk(std::string_view chunk) override;

 private:
  bool admitted() const;
  std::unique_ptr<HTTPResponse> textReply(std::string text, std::optional<std::string> contentType);
  std::unique_ptr<HTTPResponse> page(std::string_view path);
  std::unique_ptr<HTTPResponse> login();
  std::unique_ptr<HTTPResponse> storeDownload();
  std::unique_ptr<HTTPResponse> spreadsheetDownload(const Params& form);
  std::unique_ptr<HTTPResponse> finishUpload();
  void discardUpload();

  DesktopService& service_;
  // The body of the request being handled: a form kept in memory, or an
  // upload streamed to a working file beside the store.
  std::string body_;
  bool bodyTooLarge_ = false;
  std::unique_ptr<MultipartFileReceiver> upload_;
  std::filesystem::path uploadFile_;
  bool uploadTooLarge_ = false;
};

}  // namespace varnel::web
