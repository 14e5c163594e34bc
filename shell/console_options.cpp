#include "console_options.h"

#include <getopt.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "zrk_version.h"

namespace zrk {

namespace {

// --version has no short form; its code lies outside the characters.
constexpr int kVersionOption = 0x100;

// The first is left out where the program has no listing.
constexpr option kOptions[] = {
    {"list", no_argument, nullptr, 't'},
    {"directory", required_argument, nullptr, 'C'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersionOption},
    {nullptr, 0, nullptr, 0},
};

// '+': the first operand ends the options (and is refused below); ':': a
// missing folder after -C is told apart from an unknown option.
constexpr char kShortOptions[] = "+:hC:";
constexpr char kShortOptionsWithListing[] = "+:htC:";

constexpr char kDirectoryHelp[] =
    "\n"
    "  -C, --directory DIR  work in DIR instead of the current folder\n";
constexpr char kOptionsHelp[] =
    "  -h, --help           show this help and exit\n"
    "      --version        show the version and exit\n"
    "\n"
    "The log goes to standard output; an error that ends the run, and what a run\n"
    "left undone and why, to standard error.\n"
    "Exit status: 0 when the job did all of its work, 1 when it did not (an error\n"
    "ended it, it found nothing to work on, or a file could not be written), 2 for a\n"
    "command line it does not take.\n";

struct Request {
    bool help = false;
    bool version = false;
    bool listing = false;
    std::vector<std::string> folders;  // each -C in turn, as tar takes them
    std::string complaint;             // what is wrong with the command line
};

std::string usageLine(const ToolProgram& program) {
    std::string listing = program.listing ? " [-t]" : "";
    return "usage: " + commandName(program) + " [-h] [--version]" + listing + " [-C DIR]\n";
}

std::string help(const ToolProgram& program) {
    return usageLine(program) + "\n" + program.description + kDirectoryHelp + program.listingHelp +
           kOptionsHelp;
}

// The option getopt_long just refused, as typed: a long one whole, a short one
// alone even inside a group such as -hx.
std::string refusedOption(char** argv) {
    std::string typed = argv[optind - 1];
    if (typed.starts_with("--") || optopt == 0) {
        return typed;
    }
    return std::string("-") + static_cast<char>(optopt);
}

Request readCommandLine(const ToolProgram& program, int argc, char** argv) {
    Request request;
    const char* shortOptions = program.listing ? kShortOptionsWithListing : kShortOptions;
    const option* options = program.listing ? kOptions : kOptions + 1;
    int option = 0;
    while (request.complaint.empty() &&
           (option = getopt_long(argc, argv, shortOptions, options, nullptr)) != -1) {
        switch (option) {
            case 'h':
                request.help = true;
                break;
            case 't':
                request.listing = true;
                break;
            case kVersionOption:
                request.version = true;
                break;
            case 'C':
                request.folders.emplace_back(optarg);
                break;
            case ':':
                request.complaint = "option " + refusedOption(argv) + " needs a folder";
                break;
            default:
                request.complaint = "unknown option '" + refusedOption(argv) + "'";
                break;
        }
    }
    if (request.complaint.empty() && optind < argc) {
        request.complaint = "unexpected argument '" + std::string(argv[optind]) + "'; " +
                            commandName(program) + " works on " + program.input +
                            " in the folder it runs in, or in the one given with -C DIR";
    }
    return request;
}

// A line on standard error. What was typed may hold control characters, which
// are escaped as in every other line the programs show.
void complain(const std::string& line) {
    std::cerr << escapeControls(line, Controls::Terminal) << "\n";
}

// True when every folder could be entered; otherwise says which one could not.
bool enterFolders(const std::string& name, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        if (::chdir(folder.c_str()) != 0) {
            complain(name + ": cannot work in '" + folder + "': " + std::strerror(errno));
            return false;
        }
    }
    return true;
}

// 0 once the text is out; 1 when standard output could not take it.
int answer(const std::string& text) {
    std::cout << text << std::flush;
    return std::cout ? 0 : 1;
}

}  // namespace

std::string commandName(const ToolProgram& program) {
    std::string name = program.caption;
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

ConsoleRequest applyConsoleOptions(const ToolProgram& program, int argc, char** argv) {
    std::string name = commandName(program);
    Request request = readCommandLine(program, argc, argv);
    if (!request.complaint.empty()) {
        complain(name + ": " + request.complaint);
        std::cerr << usageLine(program);
        return {kBadCommandLine};
    }
    if (request.help) {
        return {answer(help(program))};
    }
    if (request.version) {
        return {answer(name + " " + ZRK_VERSION_TEXT + "\n")};
    }
    if (!enterFolders(name, request.folders)) {
        return {kBadCommandLine};
    }
    return {std::nullopt, request.listing};
}

}  // namespace zrk
