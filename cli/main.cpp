// odomei-cli: reads the stored history of an in-vehicle fuel-economy meter from the command line.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "data/CsvExport.h"
#include "platform/Dates.h"
#include "platform/Files.h"
#include "platform/Interrupt.h"
#include "ui/ChartModel.h"

namespace {

constexpr const char* kDescription =
    "Reads the stored history of an in-vehicle fuel-economy meter over a serial line.";

constexpr const char* kExitStatuses =
    "Exit status:\n"
    "  0    success\n"
    "  1    an internal error (a fault in odomei-cli; standard error says what)\n"
    "  2    usage error (unknown command or option, bad value; price, vehicles set: no such\n"
    "       refuel or several that day without --no; export: no refuel can be written)\n"
    "  3    the serial port cannot be opened (doctor: a read could not start now)\n"
    "  4    time-out: no complete answer within about ten seconds, or the device went away\n"
    "  5    the block's check byte was wrong three times\n"
    "  6    a control byte (STX, NAK or ACK) could not be sent\n"
    "  7    the meter's block held no valid record\n"
    "  8    the output file (or standard output) cannot be written\n"
    "  9    the logbook cannot be opened or written (for read: only with --require-logbook)\n"
    "  10   a file to import is not a CSV file ODOMEI saved\n"
    "  11   read: the read was kept in no vehicle (its records are another vehicle's, overlap\n"
    "       several, or cannot be the vehicle's); its output was written\n"
    "  130  interrupted (SIGINT); 143 terminated (SIGTERM); 129 hung up (SIGHUP)\n"
    "\n"
    "Files: KORVANA.ini (port setting, [Ports], [Logbook]), KORVANA.log (communication log) and\n"
    "odomei-logbook.sqlite3 (the logbook) in the working directory.";

constexpr const char* kCommands[] = {"ports", "read",   "history",  "stats", "import",
                                     "chart", "doctor", "vehicles", "price", "export"};

// A day that exists, written as the logbook keeps them.
const CLI::Validator kIsoDate(
    [](std::string& text) -> std::string {
        return odomei::ParseIsoDate(text) ? "" : "not a date YYYY-MM-DD: " + text;
    },
    "YYYY-MM-DD");

// A refuel among several of one day: 1, 2, ... in list order.
const CLI::Validator kRefuelNumber(
    [](std::string& text) -> std::string {
        const bool digits =
            !text.empty() && text.size() < 6 &&
            std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            std::stoi(text) >= 1;
        return digits ? "" : "not a refuel's number 1, 2, ...: " + text;
    },
    "N");

// A port or a file must be named: an empty value would quietly mean the default.
const CLI::Validator kNotEmpty(
    [](std::string& text) -> std::string { return text.empty() ? "must not be empty" : ""; }, "");

// A size in pixels: decimal digits only (CLI11 would take 1e3 or 0x3E8 and call them out of range).
const CLI::Validator kWholeNumber(
    [](std::string& text) -> std::string {
        const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
            return c >= '0' && c <= '9';
        });
        return digits ? "" : "not a whole number: " + text;
    },
    "");

// The first argument where a command belongs, when it names none of them.
std::string UnknownCommand(const std::vector<std::string>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a.empty() || a[0] != '-') {
            for (const char* known : kCommands) {
                if (a == known) return {};
            }
            return a;
        }
    }
    return {};
}

// What went to standard output through stdio (help, listings) is only known to have arrived once
// flushed: a failure there fails a command that had succeeded.
int OutputChecked(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    std::fprintf(stderr, "odomei-cli: %s\n  standard output could not be written: %s\n",
                 odomei::CsvFailureText(odomei::CsvResult::kWriteFailed), std::strerror(errno));
    return status == odomei::cli::kExitOk ? odomei::cli::kExitOutputFailed : status;
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "odomei-cli: %s\nTry 'odomei-cli --help' for more information.\n",
                 problem.c_str());
    return odomei::cli::kExitUsage;
}

odomei::cli::Format FormatOf(const std::string& name) {
    using odomei::cli::Format;
    return name == "csv"     ? Format::kCsv
           : name == "json"  ? Format::kJson
           : name == "table" ? Format::kTable
                             : Format::kAuto;
}

// A command: its options, declared on the app, and what runs it once they are parsed. The options
// live as long as run does.
struct Command {
    CLI::App* app = nullptr;
    std::function<int()> run;
};

Command PortsCommand(CLI::App& app) {
    return {app.add_subcommand(kCommands[0], "List the serial ports as COM1, COM2, ... map them"),
            [] { return OutputChecked(odomei::cli::RunPorts()); }};
}

Command ReadCommand(CLI::App& app) {
    struct Arguments {
        odomei::cli::ReadOptions options;
        std::string format = "auto";
        std::string encoding = "cp932";
    };
    auto a = std::make_shared<Arguments>();
    odomei::cli::ReadOptions& options = a->options;
    auto* read = app.add_subcommand(kCommands[1], "Read the meter once (no question asked)");
    auto* port = read->add_option("--port", options.port,
                                  "COMn, a device path, or auto: find the meter on the free USB "
                                  "serial ports (default: the port KORVANA.ini selects)")
                     ->check(kNotEmpty)
                     ->type_name("PORT");
    read->add_flag("--all-ports", options.allPorts,
                   "with --port auto: try the free hardware serial ports too")
        ->needs(port);
    read->add_option("--format", a->format,
                     "csv, json or table (default: table on a terminal, csv otherwise)")
        ->check(CLI::IsMember({"auto", "csv", "json", "table"}))
        ->type_name("FORMAT");
    read->add_option("-o,--output", options.output, "write to FILE ('-': standard output)")
        ->check(kNotEmpty)
        ->type_name("FILE");
    read->add_option("--encoding", a->encoding,
                     "CSV text: cp932 (the window's bytes, default) or utf-8")
        ->transform(CLI::IsMember({"cp932", "utf-8"}, CLI::ignore_case))
        ->type_name("ENCODING");
    auto* logFile = read->add_option("--log", options.logFile,
                                     "write the communication log to FILE instead of KORVANA.log")
                        ->check(kNotEmpty)
                        ->type_name("FILE");
    read->add_flag("--no-log", options.noLog, "write no communication log")->excludes(logFile);
    read->add_flag("-q,--quiet", options.quiet, "show no progress");
    auto* readBook =
        read->add_option("--logbook", options.logbook,
                         "the logbook to add the read to (default: as KORVANA.ini says, "
                         "else odomei-logbook.sqlite3)")
            ->check(kNotEmpty)
            ->type_name("FILE");
    auto* noLogbook =
        read->add_flag("--no-logbook", options.noLogbook, "do not add the read to the logbook")
            ->excludes(readBook);
    read->add_flag("--require-logbook", options.requireLogbook,
                   "fail (status 9) when the read cannot be added to the logbook")
        ->excludes(noLogbook);
    auto* vehicle = read->add_option("--vehicle", options.vehicle,
                                     "keep the read with vehicle NAME, or nowhere (status 11) when "
                                     "its records are another vehicle's (default: the vehicle its "
                                     "records are, else the one KORVANA.ini selects)")
                        ->check(kNotEmpty)
                        ->type_name("NAME")
                        ->excludes(noLogbook);
    read->add_flag("--meter-moved", options.meterMoved,
                   "with --vehicle: the meter now sits in that vehicle; the records another "
                   "vehicle holds stay its own, the new ones go to NAME")
        ->needs(vehicle);
    return {read, [a] {
                if (a->options.allPorts && a->options.port != "auto") {
                    return Usage("--all-ports needs --port auto");
                }
                a->options.format = FormatOf(a->format);
                a->options.utf8 = a->encoding != "cp932";
                return OutputChecked(odomei::cli::RunRead(a->options));
            }};
}

// What the commands on the logbook take, as given.
struct LogbookArguments {
    odomei::cli::LogbookOptions book;
    std::string format = "auto";
    std::string units = "default";
    std::string encoding = "cp932";
};

// The vehicle a command on the logbook works on.
void DeclareVehicleOption(CLI::App* command, LogbookArguments& a) {
    command
        ->add_option("--vehicle", a.book.vehicle,
                     "the vehicle (default: the one KORVANA.ini selects, else the first)")
        ->check(kNotEmpty)
        ->type_name("NAME");
}

// The options every command that charts or prints the logbook takes.
void DeclareLogbookOptions(CLI::App* command, LogbookArguments& a) {
    command
        ->add_option("--logbook", a.book.logbook,
                     "the logbook (default: as KORVANA.ini says, else odomei-logbook.sqlite3)")
        ->check(kNotEmpty)
        ->type_name("FILE");
    command->add_option("--from", a.book.from, "only records from this day on")->check(kIsoDate);
    command->add_option("--to", a.book.to, "only records up to this day")->check(kIsoDate);
    command->add_option("--units", a.units, "km/L or L/100km (default: as KORVANA.ini says)")
        ->check(CLI::IsMember({"default", "km/L", "L/100km"}));
    DeclareVehicleOption(command, a);
}

// Runs a command on the logbook with its options as parsed, once the days make a range.
int RunOnLogbook(LogbookArguments& a,
                 const std::function<int(const odomei::cli::LogbookOptions&)>& run) {
    odomei::cli::LogbookOptions& book = a.book;
    if (!book.from.empty() && !book.to.empty() && book.to < book.from) {
        return Usage("--to " + book.to + " is before --from " + book.from);
    }
    book.format = FormatOf(a.format);
    book.utf8 = a.encoding != "cp932";
    book.units = a.units == "km/L"      ? odomei::cli::Units::kKmPerLitre
                 : a.units == "L/100km" ? odomei::cli::Units::kLitresPer100Km
                                        : odomei::cli::Units::kDefault;
    return OutputChecked(run(book));
}

Command HistoryCommand(CLI::App& app) {
    auto a = std::make_shared<LogbookArguments>();
    auto* history = app.add_subcommand(kCommands[2], "Print the records kept in the logbook");
    DeclareLogbookOptions(history, *a);
    history
        ->add_option("--format", a->format,
                     "table, csv or json (default: table on a terminal, csv otherwise)")
        ->check(CLI::IsMember({"auto", "csv", "json", "table"}))
        ->type_name("FORMAT");
    history->add_option("--encoding", a->encoding, "CSV text: cp932 (default) or utf-8")
        ->transform(CLI::IsMember({"cp932", "utf-8"}, CLI::ignore_case))
        ->type_name("ENCODING");
    return {history, [a] { return RunOnLogbook(*a, odomei::cli::RunHistory); }};
}

Command StatsCommand(CLI::App& app) {
    auto a = std::make_shared<LogbookArguments>();
    auto* stats = app.add_subcommand(kCommands[3],
                                     "Print the logbook's summary: economy, the meter's "
                                     "error and the correction factor it suggests");
    DeclareLogbookOptions(stats, *a);
    stats->add_option("--format", a->format, "table or json (default: table)")
        ->check(CLI::IsMember({"auto", "json", "table"}))
        ->type_name("FORMAT");
    return {stats, [a] { return RunOnLogbook(*a, odomei::cli::RunStats); }};
}

Command ImportCommand(CLI::App& app) {
    auto a = std::make_shared<LogbookArguments>();
    auto* import =
        app.add_subcommand(kCommands[4], "Bring CSV files the window saved into the logbook");
    import->add_option("--logbook", a->book.logbook, "the logbook")
        ->check(kNotEmpty)
        ->type_name("FILE");
    DeclareVehicleOption(import, *a);
    import->add_option("files", a->book.files, "CSV files saved by ODOMEI")
        ->required()
        ->type_name("FILE");
    return {import, [a] { return RunOnLogbook(*a, odomei::cli::RunImport); }};
}

Command ChartCommand(CLI::App& app) {
    struct Arguments {
        LogbookArguments logbook;
        odomei::cli::ChartOptions chart;
        std::string what = "both";
    };
    auto a = std::make_shared<Arguments>();
    odomei::cli::ChartOptions& chartOptions = a->chart;
    auto* chart = app.add_subcommand(
        kCommands[5], "Draw the logbook's charts (economy; the meter's error and factor) as SVG");
    DeclareLogbookOptions(chart, a->logbook);
    chart
        ->add_option("--what", a->what,
                     "economy, error or both (default: both, one below the other)")
        ->check(CLI::IsMember({"both", "economy", "error"}))
        ->type_name("CHART");
    chart->add_option("--width", chartOptions.width, "the picture's width in pixels (default: 800)")
        ->check(kWholeNumber)
        ->check(CLI::Range(odomei::kMinimumChartWidth, odomei::kMaximumChartWidth));
    chart
        ->add_option("--height", chartOptions.height,
                     "each chart's height in pixels (default: 320)")
        ->check(kWholeNumber)
        ->check(CLI::Range(odomei::kMinimumChartHeight, odomei::kMaximumChartHeight));
    chart->add_option("-o,--output", chartOptions.output, "write to FILE ('-': standard output)")
        ->check(kNotEmpty)
        ->type_name("FILE");
    return {chart, [a] {
                a->chart.economy = a->what != "error";
                a->chart.error = a->what != "economy";
                return RunOnLogbook(a->logbook, [&a](const odomei::cli::LogbookOptions& book) {
                    return odomei::cli::RunChart(book, a->chart);
                });
            }};
}

Command DoctorCommand(CLI::App& app) {
    struct Arguments {
        odomei::cli::DoctorOptions options;
        std::string format = "text";
    };
    auto a = std::make_shared<Arguments>();
    auto* doctor = app.add_subcommand(
        kCommands[6], "Say whether a read could start now, and what stands in the way if not");
    doctor
        ->add_option("--port", a->options.port,
                     "COMn or a device path (default: the port KORVANA.ini selects)")
        ->check(kNotEmpty)
        ->type_name("PORT");
    doctor->add_option("--format", a->format, "text or json (default: text)")
        ->check(CLI::IsMember({"text", "json"}))
        ->type_name("FORMAT");
    return {doctor, [a] {
                a->options.json = a->format == "json";
                return OutputChecked(odomei::cli::RunDoctor(a->options));
            }};
}

Command VehiclesCommand(CLI::App& app) {
    struct Arguments {
        odomei::cli::VehicleOptions options;
        std::string format = "table";
    };
    using odomei::cli::VehicleAction;
    auto a = std::make_shared<Arguments>();
    odomei::cli::VehicleOptions& o = a->options;
    auto* vehicles = app.add_subcommand(
        kCommands[7],
        "List the logbook's vehicles, or add, rename, note, remove, select or set one (its "
        "odometer, its currency), or merge a whole other logbook in as one");
    vehicles->require_subcommand(0, 1);
    // Each action takes --logbook, after its name or before it.
    auto logbook = [&o](CLI::App* command) {
        command
            ->add_option("--logbook", o.logbook,
                         "the logbook (default: as KORVANA.ini says, else "
                         "odomei-logbook.sqlite3)")
            ->check(kNotEmpty)
            ->type_name("FILE");
    };
    auto format = [&a](CLI::App* command) {
        command->add_option("--format", a->format, "table or json (default: table)")
            ->check(CLI::IsMember({"table", "json"}))
            ->type_name("FORMAT");
    };
    logbook(vehicles);
    format(vehicles);
    auto* list = vehicles->add_subcommand(
        "list", "List them: name, note, records, first and last date, last read (the default)");
    logbook(list);
    format(list);
    auto* add = vehicles->add_subcommand("add", "Add a vehicle");
    logbook(add);
    add->add_option("name", o.name, "its name")->required()->type_name("NAME");
    add->add_option("--note", o.note, "plate, model, anything")->type_name("TEXT");
    auto* rename =
        vehicles->add_subcommand("rename", "Rename a vehicle (KORVANA.ini's selection follows it)");
    logbook(rename);
    rename->add_option("name", o.name, "its name now")->required()->type_name("OLD");
    rename->add_option("new", o.newName, "its new name")->required()->type_name("NEW");
    auto* note = vehicles->add_subcommand("note", "Set a vehicle's note (empty: none)");
    logbook(note);
    note->add_option("name", o.name, "the vehicle")->required()->type_name("NAME");
    note->add_option("text", o.note, "the note")->required()->type_name("TEXT");
    auto* remove = vehicles->add_subcommand(
        "remove", "Remove a vehicle with all its records (asked first on a terminal)");
    logbook(remove);
    remove->add_option("name", o.name, "the vehicle")->required()->type_name("NAME");
    remove->add_flag("-y,--yes", o.yes, "remove without asking (needed without a terminal)");
    auto* select = vehicles->add_subcommand(
        "select", "Select the vehicle reads are kept with (KORVANA.ini, as the window does)");
    logbook(select);
    select->add_option("name", o.name, "the vehicle")->required()->type_name("NAME");
    auto* merge = vehicles->add_subcommand(
        "merge-logbook",
        "Bring a whole other logbook (one car's) in as one vehicle; a second run adds nothing");
    logbook(merge);
    merge->add_option("file", o.file, "the other logbook")
        ->required()
        ->check(kNotEmpty)
        ->type_name("FILE");
    merge->add_option("--as", o.as, "the vehicle's name (default: the file's folder's name)")
        ->check(kNotEmpty)
        ->type_name("NAME");
    auto* set = vehicles->add_subcommand(
        "set", "Give a vehicle its odometer reading at one refuel, or its prices' currency");
    logbook(set);
    set->add_option("name", o.name, "the vehicle")->required()->type_name("NAME");
    auto* odometer =
        set->add_option("--odometer", o.odometer,
                        "the odometer's reading in whole km (\"48210\" or \"48 210\"); the other "
                        "refuels' readings follow from the distances the meter measured")
            ->check(kNotEmpty)
            ->type_name("KM");
    auto* at = set->add_option("--at", o.at, "the day of the refuel the odometer read KM")
                   ->check(kIsoDate)
                   ->type_name("DATE");
    odometer->needs(at);
    at->needs(odometer);
    set->add_option("--no", o.no, "which of the day's refuels (1, 2, ... in list order)")
        ->check(kRefuelNumber)
        ->needs(at);
    set->add_option("--currency", o.currency,
                    "the prices' currency, an ISO 4217 code such as JPY (the default) or EUR")
        ->check(kNotEmpty)
        ->type_name("CODE");
    return {vehicles, [a, add, rename, note, remove, select, merge, set] {
                odomei::cli::VehicleOptions& options = a->options;
                options.action = *add      ? VehicleAction::kAdd
                                 : *rename ? VehicleAction::kRename
                                 : *note   ? VehicleAction::kNote
                                 : *remove ? VehicleAction::kRemove
                                 : *select ? VehicleAction::kSelect
                                 : *merge  ? VehicleAction::kMergeLogbook
                                 : *set    ? VehicleAction::kSet
                                           : VehicleAction::kList;
                if (options.action == VehicleAction::kSet && options.odometer.empty() &&
                    options.currency.empty()) {
                    return Usage("vehicles set needs --odometer KM --at DATE or --currency CODE");
                }
                options.format = FormatOf(a->format);
                return OutputChecked(odomei::cli::RunVehicles(options));
            }};
}

Command PriceCommand(CLI::App& app) {
    struct Arguments {
        odomei::cli::PriceOptions options;
        std::string perLitre;
        std::string total;
    };
    auto a = std::make_shared<Arguments>();
    odomei::cli::PriceOptions& o = a->options;
    auto* price = app.add_subcommand(
        kCommands[8],
        "Give the refuel of a day its price (per litre or the total paid, in the vehicle's "
        "currency), or the refuels of a card statement theirs");
    price
        ->add_option("--logbook", o.logbook,
                     "the logbook (default: as KORVANA.ini says, else odomei-logbook.sqlite3)")
        ->check(kNotEmpty)
        ->type_name("FILE");
    price
        ->add_option("--vehicle", o.vehicle,
                     "the vehicle (default: the one KORVANA.ini selects, else the first)")
        ->check(kNotEmpty)
        ->type_name("NAME");
    auto* date = price->add_option("date", o.date, "the refuel's day")->check(kIsoDate);
    auto* perLitre =
        price
            ->add_option("--per-litre", a->perLitre, "the price of a litre (\"168.5\", \"168,50\")")
            ->type_name("PRICE");
    // A value with a day; none with --from-csv, where it says what the statement's amounts are.
    auto* total = price
                      ->add_option("--total", a->total,
                                   "the total paid (\"5432\"); with --from-csv, and no value: "
                                   "the statement's amounts are totals (default: per litre)")
                      ->expected(0, 1)
                      ->type_name("[TOTAL]");
    auto* clear = price->add_flag("--clear", o.clear, "remove the refuel's price");
    auto* no =
        price->add_option("--no", o.no, "which of the day's refuels (1, 2, ... in list order)")
            ->check(kRefuelNumber);
    auto* statement =
        price
            ->add_option("--from-csv", o.statement,
                         "a card statement: lines YYYY-MM-DD,price, each matched to the refuel "
                         "of its day")
            ->check(kNotEmpty)
            ->type_name("FILE");
    perLitre->excludes(clear);
    total->excludes(clear);
    perLitre->excludes(total);
    statement->excludes(date)->excludes(perLitre)->excludes(clear)->excludes(no);
    no->needs(date);
    return {price, [a, total, statement, date] {
                odomei::cli::PriceOptions& options = a->options;
                if (*statement) {
                    if (!a->total.empty())
                        return Usage(
                            "--total takes no amount with --from-csv: the statement's "
                            "lines give them");
                    options.perLitre = !*total;
                    return OutputChecked(odomei::cli::RunPrice(options));
                }
                if (!*date) return Usage("price needs a DATE, or --from-csv FILE");
                if (*total && a->total.empty()) return Usage("--total needs the amount paid");
                if (!options.clear && a->perLitre.empty() && a->total.empty())
                    return Usage("price DATE needs --per-litre PRICE, --total TOTAL or --clear");
                options.perLitre = !*total;
                options.amount = *total ? a->total : a->perLitre;
                return OutputChecked(odomei::cli::RunPrice(options));
            }};
}

Command ExportCommand(CLI::App& app) {
    struct Arguments {
        LogbookArguments logbook;
        odomei::cli::ExportOptions options;
    };
    auto a = std::make_shared<Arguments>();
    auto* exported = app.add_subcommand(
        kCommands[9], "Write a vehicle's refuels as a fuel-logbook app imports them");
    exported->add_option("app", a->options.app, "lubelogger, spritmonitor or fuelio")
        ->required()
        ->check(CLI::IsMember({"lubelogger", "spritmonitor", "fuelio"}))
        ->type_name("APP");
    LogbookArguments& book = a->logbook;
    exported
        ->add_option("--logbook", book.book.logbook,
                     "the logbook (default: as KORVANA.ini says, else odomei-logbook.sqlite3)")
        ->check(kNotEmpty)
        ->type_name("FILE");
    exported->add_option("--from", book.book.from, "only records from this day on")
        ->check(kIsoDate);
    exported->add_option("--to", book.book.to, "only records up to this day")->check(kIsoDate);
    DeclareVehicleOption(exported, book);
    exported->add_option("-o,--output", a->options.output, "write to FILE ('-': standard output)")
        ->required()
        ->check(kNotEmpty)
        ->type_name("FILE");
    return {exported, [a] {
                return RunOnLogbook(a->logbook, [&a](const odomei::cli::LogbookOptions& options) {
                    a->options.book = options;
                    return odomei::cli::RunExport(a->options);
                });
            }};
}

int RunCli(int argc, char** argv) {
    // "odomei-cli read | jq ..." where jq has gone: status 8 and a word, and the read is kept.
    odomei::IgnoreBrokenPipes();
    odomei::UseUtf8Console();
    // The arguments as UTF-8, whatever code page the system would give them in.
    std::vector<std::string> arguments = odomei::CommandLineArguments(argc, argv);
    std::vector<char*> args;
    for (std::string& a : arguments) args.push_back(a.data());
    CLI::App app(kDescription, "odomei-cli");
    app.footer(kExitStatuses);
    app.set_version_flag("--version", "odomei-cli (ODOMEI) " ODOMEI_VERSION);
    app.require_subcommand(1);
    // In the order the help lists them.
    const Command commands[] = {PortsCommand(app),  ReadCommand(app),     HistoryCommand(app),
                                StatsCommand(app),  ImportCommand(app),   ChartCommand(app),
                                DoctorCommand(app), VehiclesCommand(app), PriceCommand(app),
                                ExportCommand(app)};

    try {
        app.parse(static_cast<int>(args.size()), args.data());
    } catch (const CLI::CallForHelp&) {
        std::printf("%s", app.help("", CLI::AppFormatMode::All).c_str());
        return OutputChecked(0);
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return OutputChecked(0);
    } catch (const CLI::ParseError& e) {
        const std::string unknown = UnknownCommand(arguments);
        return Usage(unknown.empty() ? e.what() : "unknown command '" + unknown + "'");
    }
    for (const Command& command : commands) {
        if (*command.app) return command.run();
    }
    return odomei::cli::kExitInternal;  // CLI11 requires one command
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
