// Writes the configuration report of the (simulated) adapters: to standard
// output as UTF-8, to a file exactly as the program saves it (UTF-16LE, no
// byte-order mark), by e-mail with the SMTP settings of the registry, or as
// JSON for scripts.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "controller/controller_io.h"
#include "events/smtp.h"
#include "headless.h"
#include "host/unshown.h"
#include "platform/text.h"
#include "report/report.h"
#include "report/report_json.h"
#include "resources/strings.h"
#include "settings/app_settings.h"
#include "settings/smtp_password.h"

#ifndef KESTRUNE_VERSION
#define KESTRUNE_VERSION "0.0.0"
#endif

namespace {

using namespace kestrune;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: kestrune-report [--json] [--output FILE]\n"
    "       kestrune-report --mail [--to LIST] [--subject TEXT] [--server HOST] [--port N]\n"
    "                       [--verbose]\n"
    "Writes the configuration report of the adapters. Without options it goes to\n"
    "standard output as UTF-8 (line ends \"\\n\"); --output FILE writes it as the\n"
    "program saves it (UTF-16LE, \"\\r\\n\", no byte-order mark), replacing FILE only\n"
    "once the whole report is written (FILE must be new or a regular file); --json\n"
    "writes it as JSON (UTF-8), to standard output or to --output FILE; --mail\n"
    "sends it to the settings' \"Event List\" through \"SMTP Server\" with \"Email\n"
    "Subject\", on \"SMTP Port\" (or --port N) with the settings' security and\n"
    "account; with --verbose it prints the SMTP dialogue, TLS and AUTH steps\n"
    "included (the report only by its size, the credentials never).\n"
    "KESTRUNE_SCENARIO names a scenario file, KESTRUNE_REGISTRY the registry.\n";

struct Options {
  std::optional<std::string> output;
  bool json = false;
  bool mail = false;
  bool verbose = false;
  std::optional<std::string> to;
  std::optional<std::string> subject;
  std::optional<std::string> server;
  std::optional<std::uint16_t> port;
};

bool ParsePort(const std::string& text, std::uint16_t& port) {
  if (text.empty() || text.size() > 5 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const unsigned long value = std::stoul(text);
  if (value == 0 || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

// nullopt after a usage error (already printed); `help` when asked for it.
std::optional<Options> ParseOptions(int argc, char** argv, bool& help) {
  Options options;
  help = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::optional<std::string>& into) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "kestrune-report: %s needs a value\n", arg.c_str());
        return false;
      }
      into = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      help = true;
      return options;
    }
    if (arg == "--mail") {
      options.mail = true;
    } else if (arg == "--verbose" || arg == "-v") {
      options.verbose = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--output" || arg == "-o") {
      if (!value(options.output)) return std::nullopt;
    } else if (arg == "--to") {
      if (!value(options.to)) return std::nullopt;
    } else if (arg == "--subject") {
      if (!value(options.subject)) return std::nullopt;
    } else if (arg == "--server") {
      if (!value(options.server)) return std::nullopt;
    } else if (arg == "--port") {
      std::optional<std::string> text;
      if (!value(text)) return std::nullopt;
      std::uint16_t port = 0;
      if (!ParsePort(*text, port)) {
        std::fprintf(stderr, "kestrune-report: bad port %s\n", text->c_str());
        return std::nullopt;
      }
      options.port = port;
    } else {
      std::fprintf(stderr, "kestrune-report: unknown option %s\n", arg.c_str());
      return std::nullopt;
    }
  }
  if (options.mail && options.output) {
    std::fprintf(stderr, "kestrune-report: --mail and --output exclude each other\n");
    return std::nullopt;
  }
  if (options.mail && options.json) {
    std::fprintf(stderr, "kestrune-report: --mail sends the text report; --json goes without it\n");
    return std::nullopt;
  }
  if (!options.mail &&
      (options.to || options.subject || options.server || options.port || options.verbose)) {
    std::fprintf(stderr,
                 "kestrune-report: --to, --subject, --server, --port and --verbose go with "
                 "--mail\n");
    return std::nullopt;
  }
  return options;
}

// The report's "\r\n" line ends become "\n" on the terminal.
std::string TerminalText(const std::wstring& report) {
  std::string text = platform::ToUtf8(report);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::wstring Wide(const std::string& text) {
  return platform::FromUtf8(text);
}

// The JSON to the file (created anew) or to standard output.
bool WriteJson(const std::optional<std::string>& path, const std::string& json) {
  if (!path) {
    if (std::fwrite(json.data(), 1, json.size(), stdout) != json.size() ||
        std::fflush(stdout) != 0) {
      std::fprintf(stderr, "kestrune-report: cannot write to standard output\n");
      return false;
    }
    return true;
  }
  std::FILE* file = std::fopen(path->c_str(), "wb");
  bool written = file != nullptr && std::fwrite(json.data(), 1, json.size(), file) == json.size();
  if (file != nullptr && std::fclose(file) != 0) written = false;
  if (!written) {
    std::fprintf(stderr, "kestrune-report: %s: %s\n", path->c_str(),
                 platform::ToUtf8(res::LoadString(res::kStrReportFileFailure)).c_str());
  }
  return written;
}

// The machine's own arrays and disks the model does not show, each with its
// reason, after the report (nothing with the simulator).
std::wstring WithUnshown(std::wstring report, const machine::Machine& machine) {
  if (machine.Host() == nullptr) return report;
  const auto lines = host::UnshownLines(*machine.Host()->Snapshot());
  if (lines.empty()) return report;
  report += L"\r\nNot shown above:\r\n";
  for (const auto& line : lines) report += Wide("  " + host::UnshownText(line)) + L"\r\n";
  return report;
}

std::string WithUnshown(const std::string& json, const machine::Machine& machine) {
  if (machine.Host() == nullptr) return json;
  nlohmann::ordered_json out = nlohmann::ordered_json::parse(json, nullptr, false);
  if (out.is_discarded()) return json;
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& line : host::UnshownLines(*machine.Host()->Snapshot())) {
    nlohmann::ordered_json item;
    item["kind"] = line.kind;
    item["name"] = line.name;
    item["reason"] = line.reason;
    if (!line.state.empty()) item["state"] = line.state;
    if (!line.disks.empty()) item["disks"] = line.disks;
    list.push_back(std::move(item));
  }
  out["notShown"] = std::move(list);
  return out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  bool help = false;
  const std::optional<Options> options = ParseOptions(argc, argv, help);
  if (help) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (!options) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }

  tools::Headless headless;
  const bool started =
      tools::StartHeadless("kestrune-report", headless, [](ctl::CControllerIo& io) {
        io.ReadProgramInfo(L"/proc/self/exe");
        // A build without a version record names the program by itself.
        ctl::CControllerIo::Lock lock(io);
        ctl::ProgramInfo& program = io.Model().program;
        if (program.productName.empty()) program.productName = settings::kProductName;
        if (program.productVersion.empty()) program.productVersion = Wide(KESTRUNE_VERSION);
      });
  if (!started) return kExitFailure;
  const settings::AppSettings& settings = *headless.settings;

  if (options->json) {
    const std::string json = WithUnshown(
        rpt::ProduceReportJson(*headless.io, *headless.machine.Clock(), *headless.ui),
        headless.machine);
    return WriteJson(options->output, json) ? kExitOk : kExitFailure;
  }
  const std::wstring report =
      WithUnshown(rpt::ProduceReportText(*headless.io, *headless.machine.Clock(), *headless.ui),
                  headless.machine);

  if (options->output) {
    std::string why;
    if (!rpt::SaveReportFile(*options->output, report, &why)) {
      std::fprintf(stderr, "kestrune-report: %s: %s (%s)\n", options->output->c_str(),
                   platform::ToUtf8(res::LoadString(res::kStrReportFileFailure)).c_str(),
                   why.c_str());
      return kExitFailure;
    }
    return kExitOk;
  }
  if (options->mail) {
    const std::wstring server = options->server ? Wide(*options->server) : settings.SmtpServer();
    const std::wstring to = options->to ? Wide(*options->to) : settings.EventList();
    const std::wstring subject =
        options->subject ? Wide(*options->subject) : settings.EmailSubject();
    if (evt::RecipientPieces(to).empty()) {
      std::fprintf(stderr,
                   "kestrune-report: warning: no recipient address ends with \";\" or \",\"; "
                   "the mail goes to nobody\n");
    }
    evt::SmtpOptions smtp;
    if (options->verbose) {
      smtp.transcript = [](evt::SmtpLine kind, const std::string& line) {
        const char* mark = kind == evt::SmtpLine::Received ? "<-"
                           : kind == evt::SmtpLine::Sent   ? "->"
                                                           : "--";
        std::printf("%s %s\n", mark, line.c_str());
        std::fflush(stdout);
      };
    }
    std::wstring mailError;
    evt::SmtpAccount account;
    bool sent = evt::SmtpAccountFromSettings(settings.Get(), settings::SmtpPasswordPath(), account,
                                             mailError);
    if (options->port) account.port = *options->port;
    sent = sent && rpt::MailReport(server, account, to, subject, settings.DefaultEmail(), report,
                                   mailError, smtp);
    std::fill(account.password.begin(), account.password.end(), '\0');
    if (!sent) {
      std::fprintf(stderr, "kestrune-report: %s: %s",
                   platform::ToUtf8(res::LoadString(res::kStrMailErrorCaption)).c_str(),
                   platform::ToUtf8(mailError).c_str());
      if (mailError.empty() || mailError.back() != L'\n') std::fputc('\n', stderr);
      return kExitFailure;
    }
    return kExitOk;
  }
  const std::string text = TerminalText(report);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "kestrune-report: cannot write to standard output\n");
    return kExitFailure;
  }
  return kExitOk;
}
