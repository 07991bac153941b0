// `varnel serve`: the desktop web access in the foreground. Opens the ledger,
// listens on the first free port of the usual list (or --port), announces
// itself on the local network, prints the addresses to open and the access
// password, and runs until Ctrl-C or SIGTERM, all on this one thread, which
// owns the ledger.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <fmt/format.h>
#include <fmt/ranges.h>

#include "app/cli.h"
#include "backup/store_swap.h"
#include "model/text.h"
#include "web/allowed_hosts.h"
#include "web/desktop_access.h"
#include "web/http_server.h"
#include "web/my_http_connection.h"

namespace varnel::cli {

namespace {

// The "www" folder of the build tree, beside the program's "bin" folder:
// the build puts the browser client there.
std::filesystem::path defaultDocumentRoot() {
  std::error_code error;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "www";
  return program.parent_path().parent_path() / "www";
}

std::string urlHost(const asio::ip::address& address) {
  return address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
}

// What a browser can open: the address listened on, or for every interface
// this machine's IPv4 addresses (what people type) and localhost.
std::vector<std::string> addressesToOpen(const std::string& bind, uint16_t port) {
  std::vector<std::string> urls;
  std::error_code error;
  const auto address = asio::ip::make_address(bind, error);
  if (!bind.empty() && !error && !address.is_unspecified()) {
    urls.push_back(fmt::format("http://{}:{}/", urlHost(address), port));
    return urls;
  }
  const web::AllowedHosts machine = web::AllowedHosts::forThisMachine();
  for (const auto& local : machine.addresses()) {
    if (local.is_v4() && !local.is_loopback()) {
      urls.push_back(fmt::format("http://{}:{}/", urlHost(local), port));
    }
  }
  urls.push_back(fmt::format("http://localhost:{}/", port));
  return urls;
}

}  // namespace

void addServeCommands(CLI::App& app, Context& ctx) {
  auto* serve = app.add_subcommand(
      "serve", "Serve the ledger to browsers on this network until Ctrl-C (the desktop web access)");
  static std::string port, bind, root, password, assets;
  static bool noPassword = false;
  serve->add_option("--port", port,
                    "Port to listen on; 0 lets the system choose (default: the first free of 8888, 9999, "
                    "9090, 8080)");
  serve->add_option("--bind", bind, "Address to listen on (default: every interface)");
  serve->add_option("--root", root, "Folder of the files served (default: www beside the program's folder)");
  auto* given = serve->add_option("--password", password,
                                  "The access password a browser must give (default: a new one each start)");
  auto* off = serve->add_flag("--no-password", noPassword,
                              "No password: anyone who reaches the port can read and change the ledger");
  given->excludes(off);
  serve->add_option("--assets", assets,
                    "Base address of the browser client's files, such as https://host/desk (default: this "
                    "server's own document root)");
  serve->callback([&ctx, given] {
    web::HTTPServerSettings settings;
    const bool portGiven = !port.empty();
    if (portGiven) settings.port = static_cast<uint16_t>(parseInteger(port, "--port", 0, 65535));
    if (!bind.empty()) {
      std::error_code error;
      asio::ip::make_address(bind, error);
      if (error) throw InputError("--bind must be an IP address: '" + bind + "'");
      settings.interface = bind;
    }
    settings.documentRoot = root.empty() ? defaultDocumentRoot() : std::filesystem::path(root);
    std::error_code error;
    if (!std::filesystem::is_directory(settings.documentRoot, error)) {
      throw InputError("the document root is not a folder: '" + settings.documentRoot.string() + "'" +
                       (root.empty() ? " (give one with --root)" : ""));
    }
    settings.documentRoot = std::filesystem::canonical(settings.documentRoot);
    settings.type = "_http._tcp.";
    settings.allowedHosts = web::AllowedHosts::forThisMachine();
    if (!bind.empty()) settings.allowedHosts.add(bind);
    const Environment env = ctx.environment();
    settings.clock = [env] {
      return std::chrono::system_clock::time_point(std::chrono::milliseconds(env.nowMs()));
    };

    std::optional<std::string> accessPassword;
    if (!noPassword) {
      if (given->count() > 0) {
        if (password.empty() || !isValidUtf8(password) || password.size() > 256 ||
            std::any_of(password.begin(), password.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
          throw InputError("--password must be text of 1 to 256 bytes without control characters");
        }
        accessPassword = password;
      } else {
        accessPassword = web::makeAccessPassword();
      }
    }
    web::DesktopSettings desktop;
    if (!assets.empty()) {
      while (!assets.empty() && assets.back() == '/') assets.pop_back();
      if (assets.rfind("http://", 0) != 0 && assets.rfind("https://", 0) != 0) {
        throw InputError("--assets must be an http:// or https:// address: '" + assets + "'");
      }
      desktop.assetsBase = assets;
    }

    std::unique_ptr<Ledger> ledger = ctx.openLedger();
    auto log = ledger->sharedLog();
    // Working files of an upload or a download that a killed server left.
    removeLeftoverWorkFiles(ledger->store().path(), *log);
    web::DesktopService service(ledger, web::DesktopAccess(accessPassword), desktop);
    asio::io_context io;
    // Set before listening, so that a Ctrl-C from the first moment on stops
    // the server instead of killing the process.
    asio::signal_set signals(io, SIGINT, SIGTERM);
    web::HTTPServer server(io, std::move(settings), log);
    service.installOn(server);

    const bool started = portGiven ? server.start(error) : server.startOnFirstFreePort(error);
    if (!started) {
      if (portGiven) {
        throw StoreError(fmt::format("cannot listen on port {}: {}", server.settings().port, error.message()));
      }
      throw StoreError(fmt::format("cannot listen on any of the ports {}: {}",
                                   fmt::join(server.settings().portList, ", "), error.message()));
    }
    signals.async_wait([&server](const std::error_code& waited, int) {
      if (waited) return;
      std::cout << "Stopping" << std::endl;
      server.stop();
    });

    std::cout << fmt::format("Serving {} on port {} (Ctrl-C stops)\n",
                             server.settings().documentRoot.string(), server.listeningPort())
              << "Open in a browser:\n";
    for (const auto& url : addressesToOpen(bind, server.listeningPort())) std::cout << "  " << url << '\n';
    if (accessPassword) {
      std::cout << "Password: " << *accessPassword << '\n';
    } else {
      std::cout << "No password: anyone who reaches this port can read and change the ledger\n";
    }
    std::cout << std::flush;
    io.run();
  });
}

}  // namespace varnel::cli
