#include "web/my_http_connection.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "backup/backup_util.h"
#include "backup/restore.h"
#include "backup/store_swap.h"
#include "model/errors.h"
#include "web/desktop_pages.h"
#include "web/file_lookup.h"
#include "web/http_server.h"

namespace varnel::web {

namespace {

constexpr std::string_view kUploadPath = "/varnelBook/uploadSqlFile";
constexpr std::string_view kSettingsPath = "/varnelBook/initVar.js";
constexpr std::string_view kConnectivityReply = "한글테스트";
// A multipart body carries its delimiters and part heads besides the file.
constexpr uint64_t kMultipartOverhead = 64 * 1024;

// Requests for the client's own files, which never need a session.
bool looksStatic(std::string_view uri) {
  for (const char* extension : {".png", ".gif", ".js", ".css", ".swf"}) {
    if (uri.find(extension) != std::string_view::npos) return true;
  }
  return false;
}

// A response with header fields of its own (the download's are the
// server's business, not these).
void removeQuietly(const std::filesystem::path& file) {
  std::error_code ignored;
  if (!file.empty()) std::filesystem::remove(file, ignored);
}

}  // namespace

// DesktopService ------------------------------------------------------------

DesktopService::DesktopService(std::unique_ptr<Ledger>& ledger, DesktopAccess access, DesktopSettings settings)
    : ledger_(ledger), access_(std::move(access)), settings_(std::move(settings)), api_(ledger) {}

Ledger& DesktopService::ledger() {
  if (!ledger_) throw StoreError("the ledger is not open");
  return *ledger_;
}

void DesktopService::installOn(HTTPServer& server) {
  server.setConnectionClass([this](std::unique_ptr<HTTPTransport> socket, HTTPServer& owner) {
    return std::make_shared<MyHTTPConnection>(std::move(socket), owner, *this);
  });
}

// MyHTTPConnection ------------------------------------------------------------

MyHTTPConnection::MyHTTPConnection(std::unique_ptr<HTTPTransport> socket, HTTPServer& server,
                                   DesktopService& service)
    : HTTPConnection(std::move(socket), server), service_(service) {}

MyHTTPConnection::~MyHTTPConnection() { discardUpload(); }

void MyHTTPConnection::discardUpload() {
  // An upload cut off with the connection leaves nothing behind.
  upload_.reset();
  removeQuietly(uploadFile_);
  uploadFile_.clear();
  uploadTooLarge_ = false;
}

bool MyHTTPConnection::supportsMethod(std::string_view method, std::string_view path) {
  return method == "POST" || HTTPConnection::supportsMethod(method, path);
}

bool MyHTTPConnection::admitted() const { return service_.access().admits(request().rawHead); }

bool MyHTTPConnection::prepareForBodyWithSize(uint64_t contentLength) {
  body_.clear();
  bodyTooLarge_ = false;
  discardUpload();
  if (request().path() != kUploadPath) {
    // Forms are small; a bigger body is not one of ours.
    return contentLength <= service_.settings().maxFormBytes;
  }
  if (!admitted()) {
    // Refused before a byte of it is read or written anywhere.
    refuseRequest(403);
    return false;
  }
  if (contentLength > service_.settings().maxUploadBytes + kMultipartOverhead) {
    // Read and dropped, so that the client gets the refusal as a reply.
    uploadTooLarge_ = true;
    return true;
  }
  uploadFile_ = workFilePath(service_.ledger().store().path(), "upload");
  upload_ = std::make_unique<MultipartFileReceiver>(uploadFile_, service_.settings().maxUploadBytes);
  return true;
}

void MyHTTPConnection::processDataChunk(std::string_view chunk) {
  if (upload_) {
    upload_->feed(chunk);
  } else if (!uploadTooLarge_ && request().path() != kUploadPath) {
    body_.append(chunk);
  }
}

std::unique_ptr<HTTPResponse> MyHTTPConnection::textReply(std::string text,
                                                          std::optional<std::string> contentType) {
  auto response = std::make_unique<HTTPDataResponse>(std::move(text));
  if (contentType) response->setReplyContentType(std::move(*contentType));
  return response;
}

std::unique_ptr<HTTPResponse> MyHTTPConnection::httpResponseForMethod(std::string_view method,
                                                                      std::string_view uri) {
  const auto question = uri.find('?');
  const std::string_view path = uri.substr(0, question);
  const Params query = question == std::string_view::npos ? Params{} : parseParameters(uri.substr(question + 1));
  const Params form = method == "POST" ? parseParameters(body_) : Params{};

  if (path == kUploadPath) {
    if (!admitted()) {
      refuseRequest(403);
      return nullptr;
    }
    return finishUpload();
  }
  if (looksStatic(uri) && path != kSettingsPath) {
    const auto file = filePathForURI(path);
    return file ? HTTPFileResponse::open(*file) : nullptr;
  }
  if (path.substr(0, kApiPrefix.size()) != kApiPrefix) return page(path);

  const std::string_view name = path.substr(kApiPrefix.size());
  if (name == "login") return login();
  if (name == "test") return textReply(std::string(kConnectivityReply), std::string(kTextContentType));
  if (name != "initVar.js" && !admitted()) {
    refuseRequest(403);
    return nullptr;
  }
  if (name == "varnel.sqlite") return storeDownload();
  if (name == "getExcelFile") return spreadsheetDownload(method == "POST" ? form : query);
  if (name == "delete") return textReply(service_.api().deleteTransactions(body_), std::nullopt);
  service_.ledger();  // a ledger that could not be opened again is a failure, not an empty reply
  auto reply = service_.api().call(name, query, form);
  if (!reply) return nullptr;
  return textReply(std::move(reply->text), std::move(reply->contentType));
}

std::unique_ptr<HTTPResponse> MyHTTPConnection::page(std::string_view path) {
  PageSettings settings;
  settings.assetsBase = service_.settings().assetsBase;
  settings.documentRoot = server().settings().documentRoot;
  settings.language = service_.api().pageLanguage();
  settings.locale = service_.ledger().env().locale();
  const auto html = [](std::string text) {
    auto response = std::make_unique<HTTPDataResponse>(std::move(text));
    response->setReplyContentType(kPageContentType);
    return response;
  };
  const bool pagePath = path == "/" || path == "/index.html" || path == "/print.html";
  if (!pagePath) {
    // The client's files are open to everyone, like its scripts.
    if (const auto file = filePathForURI(path)) return HTTPFileResponse::open(*file);
    if (path.find("varnelBook") != std::string_view::npos) return nullptr;
  }
  if (!admitted()) return html(createLogin(settings));
  if (path == "/print.html") return html(createPrint(settings));
  return html(createIndex(settings));
}

std::unique_ptr<HTTPResponse> MyHTTPConnection::login() {
  // The body must start with the password field.
  const auto equals = body_.find('=');
  const Params form = parseParameters(body_);
  const auto pwd = form.find("pwd");
  DesktopAccess::LoginOutcome outcome;
  if (request().method == "POST" && equals != std::string::npos && body_.substr(0, equals) == "pwd" &&
      pwd != form.end()) {
    outcome = service_.access().login(remoteAddress(), pwd->second);
  }
  if (outcome.session) {
    server().log().info("{} logged in", remoteAddress());
    return textReply(fmt::format("{{success:true, conid:'{}'}}", *outcome.session), std::string(kTextContentType));
  }
  server().log().warn("{} login refused", remoteAddress());
  // A wrong password waits before it hears so, without holding anyone else up.
  delayReply(outcome.delay);
  return textReply("{success:false, sessionid:''}", std::string(kTextContentType));
}

std::unique_ptr<HTTPResponse> MyHTTPConnection::storeDownload() {
  Ledger& ledger = service_.ledger();
  // A snapshot of the committed store, never the bytes of a file being written.
  const auto snapshot = workFilePath(ledger.store().path(), "download");
  const Status taken = snapshotStore(ledger.store().path(), snapshot);
  if (!taken) {
    removeQuietly(snapshot);
    throw StoreError("cannot take a snapshot of the ledger for the download: " + taken.message());
  }
  auto response = HTTPFileResponse::open(snapshot);
  // The open file keeps its bytes after its name is gone.
  removeQuietly(snapshot);
  if (!response) throw StoreError("cannot read the snapshot of the ledger for the download");
  response->setReplyContentType(std::string(kStoreContentType));
  response->setDownloadFileName("varnel.sqlite");
  return response;
}

std::unique_ptr<HTTPResponse> MyHTTPConnection::spreadsheetDownload(const Params& form) {
  Ledger& ledger = service_.ledger();
  const auto sheet = service_.api().getExcelFile(form, ledger.store().path().parent_path());
  if (!sheet) return nullptr;
  auto response = HTTPFileResponse::open(sheet->file);
  removeQuietly(sheet->file);
  if (!response) return nullptr;
  response->setReplyContentType(std::string(kSpreadsheetContentType));
  response->setDownloadFileName(sheet->downloadName);
  return response;
}

std::unique_ptr<HTTPResponse> MyHTTPConnection::finishUpload() {
  const auto refused = [&](const std::string& why) {
    server().log().warn("{} upload refused: {}", remoteAddress(), why);
    discardUpload();
    return textReply(std::string(kFailure), std::string(kUploadContentType));
  };
  if (uploadTooLarge_) {
    return refused(fmt::format("larger than {} bytes", service_.settings().maxUploadBytes));
  }
  if (!upload_) return refused("no file came with it");
  if (!upload_->finish()) return refused(upload_->failure());
  const std::string name = upload_->fileName();
  server().log().info("{} uploaded {} ({} bytes)", remoteAddress(), name, upload_->fileBytes());
  // The restore only reads the upload: it checks it, builds the new ledger
  // beside the store and swaps it in after a safety copy of the old one.
  auto restored = restoreLedger(service_.ledgerHandle(), uploadFile_);
  if (!restored) {
    server().log().warn("isCopySuccess Fail: {}", restored.status().message());
    return refused(restored.status().message());
  }
  for (const auto& marker : repairMarkersClearedByRestore()) service_.ledger().preferences().remove(marker);
  server().log().info("isCopySuccess: the ledger was replaced by {}", name);
  discardUpload();
  return textReply(std::string(kSuccess), std::string(kUploadContentType));
}

}  // namespace varnel::web
