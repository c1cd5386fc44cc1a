// odomei-cli: reads the stored history of an in-vehicle fuel-economy meter from the command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "platform/Files.h"

namespace {

constexpr const char* kDescription =
    "Reads the stored history of an in-vehicle fuel-economy meter over a serial line.";

constexpr const char* kExitStatuses =
    "Exit status:\n"
    "  0    success\n"
    "  1    an internal error (a fault in odomei-cli; standard error says what)\n"
    "  2    usage error (unknown option, bad value)\n"
    "  3    the serial port cannot be opened\n"
    "  4    time-out: no complete answer within about ten seconds, or the device went away\n"
    "  5    the block's check byte was wrong three times\n"
    "  6    a control byte (STX, NAK or ACK) could not be sent\n"
    "  7    the meter's block held no valid record\n"
    "  8    the output file (or standard output) cannot be written\n"
    "  9    the logbook cannot be opened or written (for read: only with --require-logbook)\n"
    "  10   a file to import is not a CSV file ODOMEI saved\n"
    "  130  interrupted (SIGINT); 143 terminated (SIGTERM); 129 hung up (SIGHUP)\n"
    "\n"
    "Files: KORVANA.ini (port setting, [Ports], [Logbook]), KORVANA.log (communication log) and\n"
    "odomei-logbook.sqlite3 (the logbook) in the working directory.";

// A date as the logbook keeps them.
const CLI::Validator kIsoDate(
    [](std::string& text) -> std::string {
        int year = 0, month = 0, day = 0;
        char end = 0;
        const bool parsed =
            text.size() == 10 && text[4] == '-' && text[7] == '-' &&
            std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &end) == 3;
        if (parsed && month >= 1 && month <= 12 && day >= 1 && day <= 31) return {};
        return "not a date YYYY-MM-DD: " + text;
    },
    "YYYY-MM-DD");

odomei::cli::Format FormatOf(const std::string& name) {
    using odomei::cli::Format;
    return name == "csv"     ? Format::kCsv
           : name == "json"  ? Format::kJson
           : name == "table" ? Format::kTable
                             : Format::kAuto;
}

int RunCli(int argc, char** argv) {
    odomei::UseUtf8Console();
    // The arguments as UTF-8, whatever code page the system would give them in.
    std::vector<std::string> arguments = odomei::CommandLineArguments(argc, argv);
    std::vector<char*> args;
    for (std::string& a : arguments) args.push_back(a.data());
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
    auto* readBook =
        read->add_option("--logbook", options.logbook,
                         "the logbook to add the read to (default: as KORVANA.ini says, "
                         "else odomei-logbook.sqlite3)")
            ->type_name("FILE");
    read->add_flag("--no-logbook", options.noLogbook, "do not add the read to the logbook")
        ->excludes(readBook);
    read->add_flag("--require-logbook", options.requireLogbook,
                   "fail (status 9) when the read cannot be added to the logbook");

    odomei::cli::LogbookOptions book;
    std::string bookFormat = "auto", units = "default", bookEncoding = "cp932";
    auto logbookOptions = [&](CLI::App* command) {
        command
            ->add_option("--logbook", book.logbook,
                         "the logbook (default: as KORVANA.ini says, else odomei-logbook.sqlite3)")
            ->type_name("FILE");
        command->add_option("--from", book.from, "only records from this day on")->check(kIsoDate);
        command->add_option("--to", book.to, "only records up to this day")->check(kIsoDate);
        command->add_option("--units", units, "km/L or L/100km (default: as KORVANA.ini says)")
            ->check(CLI::IsMember({"default", "km/L", "L/100km"}));
    };
    auto* history = app.add_subcommand("history", "Print the records kept in the logbook");
    logbookOptions(history);
    history
        ->add_option("--format", bookFormat,
                     "table, csv or json (default: table on a terminal, csv otherwise)")
        ->check(CLI::IsMember({"auto", "csv", "json", "table"}))
        ->type_name("FORMAT");
    history->add_option("--encoding", bookEncoding, "CSV text: cp932 (default) or utf-8")
        ->check(CLI::IsMember({"cp932", "utf-8"}, CLI::ignore_case))
        ->type_name("ENCODING");
    auto* stats = app.add_subcommand("stats",
                                     "Print the logbook's summary: economy, the meter's "
                                     "error and the correction factor it suggests");
    logbookOptions(stats);
    stats->add_option("--format", bookFormat, "table or json (default: table)")
        ->check(CLI::IsMember({"auto", "json", "table"}))
        ->type_name("FORMAT");
    auto* import =
        app.add_subcommand("import", "Bring CSV files the window saved into the logbook");
    import->add_option("--logbook", book.logbook, "the logbook")->type_name("FILE");
    import->add_option("files", book.files, "CSV files saved by ODOMEI")
        ->required()
        ->type_name("FILE");

    try {
        app.parse(static_cast<int>(args.size()), args.data());
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
    book.format = FormatOf(bookFormat);
    book.utf8 = bookEncoding != "cp932" && bookEncoding != "CP932";
    book.units = units == "km/L"      ? odomei::cli::Units::kKmPerLitre
                 : units == "L/100km" ? odomei::cli::Units::kLitresPer100Km
                                      : odomei::cli::Units::kDefault;
    if (*history) return odomei::cli::RunHistory(book);
    if (*stats) return odomei::cli::RunStats(book);
    if (*import) return odomei::cli::RunImport(book);
    options.format = FormatOf(format);
    options.utf8 = encoding != "cp932" && encoding != "CP932";
    return odomei::cli::RunRead(options);
}

}  // namespace

// Nothing a fault inside could throw ends the program without a word and an exit status.
int main(int argc, char** argv) {
    try {
        return RunCli(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "odomei-cli: internal error: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "odomei-cli: internal error\n");
    }
    return odomei::cli::kExitInternal;
}
