// odomei-cli: reads the stored history of an in-vehicle fuel-economy meter from the command line.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/Commands.h"

namespace {

constexpr const char* kDescription =
    "Reads the stored history of an in-vehicle fuel-economy meter over a serial line.";

constexpr const char* kExitStatuses =
    "Exit status:\n"
    "  0    success\n"
    "  2    usage error (unknown option, bad value)\n"
    "  3    the serial port cannot be opened\n"
    "  4    time-out: no complete answer within about ten seconds, or the device went away\n"
    "  5    the block's check byte was wrong three times\n"
    "  6    a control byte (STX, NAK or ACK) could not be sent\n"
    "  7    the meter's block held no valid record\n"
    "  8    the output file (or standard output) cannot be written\n"
    "  130  interrupted (SIGINT); 143 terminated (SIGTERM); 129 hung up (SIGHUP)\n"
    "\n"
    "Files: KORVANA.ini (port setting, [Ports]) and KORVANA.log (communication log) in the\n"
    "working directory.";

}  // namespace

int main(int argc, char** argv) {
    using odomei::cli::Format;
    CLI::App app(kDescription, "odomei-cli");
    app.footer(kExitStatuses);
    app.set_version_flag("--version", "odomei-cli (ODOMEI) " ODOMEI_VERSION);
    app.require_subcommand(1);

    auto* ports = app.add_subcommand("ports", "List the serial ports as COM1, COM2, ... map them");

    odomei::cli::ReadOptions options;
    auto* read = app.add_subcommand("read", "Read the meter once (no question asked)");
    read->add_option("--port", options.port,
                     "COMn or a device path (default: the port KORVANA.ini selects)")
        ->type_name("PORT");
    std::string format = "auto";
    read->add_option("--format", format,
                     "csv, json or table (default: table on a terminal, csv otherwise)")
        ->check(CLI::IsMember({"auto", "csv", "json", "table"}))
        ->type_name("FORMAT");
    read->add_option("-o,--output", options.output, "write to FILE ('-': standard output)")
        ->type_name("FILE");
    std::string encoding = "cp932";
    read->add_option("--encoding", encoding,
                     "CSV text: cp932 (the window's bytes, default) or utf-8")
        ->check(CLI::IsMember({"cp932", "utf-8"}, CLI::ignore_case))
        ->type_name("ENCODING");
    auto* logFile = read->add_option("--log", options.logFile,
                                     "write the communication log to FILE instead of KORVANA.log")
                        ->type_name("FILE");
    read->add_flag("--no-log", options.noLog, "write no communication log")->excludes(logFile);
    read->add_flag("-q,--quiet", options.quiet, "show no progress");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::printf("%s", app.help("", CLI::AppFormatMode::All).c_str());
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "odomei-cli: %s\nTry 'odomei-cli --help' for more information.\n",
                     e.what());
        return odomei::cli::kExitUsage;
    }

    if (*ports) return odomei::cli::RunPorts();
    options.format = format == "csv"    ? Format::kCsv
                     : format == "json" ? Format::kJson
                     : format == "table" ? Format::kTable
                                         : Format::kAuto;
    options.utf8 = encoding != "cp932" && encoding != "CP932";
    return odomei::cli::RunRead(options);
}
