#include "cli/CommandLine.h"

#include <getopt.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "request/RequestParameter.h"
#include "cli/OutputPattern.h"

namespace korvex::internal {

namespace {

// Values getopt_long returns for the options that have no short form; request parameters are
// numbered from kFirstParameter by their place in the parameter table.
enum : int { kHelp = 1000, kVersion, kBatch, kFirstParameter };

std::vector<option> LongOptions() {
  std::vector<option> options = {
      {"help", no_argument, nullptr, kHelp},
      {"version", no_argument, nullptr, kVersion},
      {"batch", required_argument, nullptr, kBatch},
      {"output", required_argument, nullptr, 'o'},
  };
  int index = kFirstParameter;
  for (const RequestParameter& parameter : RequestParameters()) {
    const bool flag = parameter.kind == ParameterKind::Flag;
    options.push_back({parameter.name, flag ? optional_argument : required_argument, nullptr, index++});
  }
  options.push_back({nullptr, 0, nullptr, 0});
  return options;
}

CommandLine Refuse(const std::string& reason) {
  if (!reason.empty()) std::fprintf(stderr, "%s: %s\n", kProgramName, reason.c_str());
  std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgramName);
  return CommandLine();
}

bool EndsWithSvg(const std::string& fileName) {
  constexpr size_t kLength = 4;
  return fileName.size() > kLength && strcasecmp(fileName.c_str() + fileName.size() - kLength, ".svg") == 0;
}

// Checks what can only be judged once every option is read.
CommandLine Completed(CommandLine line, const std::vector<std::string>& operands) {
  if (operands.size() > 1) return Refuse("more than one DATA argument ('" + operands[1] + "')");
  if (line.action == CommandLine::Action::Batch) {
    if (!operands.empty() || line.parameters.Has("data")) {
      return Refuse("--batch reads its data from FILE; it takes neither DATA nor --data");
    }
    if (!line.output) return Refuse("--batch needs -o with %n or %s in the file name");
    const StatusOr<OutputPattern> pattern = OutputPattern::Parse(*line.output);
    if (!pattern.Ok()) return Refuse("-o " + *line.output + ": " + pattern.Detail());
  } else if (!operands.empty()) {
    if (line.parameters.Has("data")) return Refuse("the data is given twice, as DATA and with --data");
    if (operands[0] == "-") {
      line.dataFromInput = true;
    } else {
      line.parameters.Set("data", operands[0]);
    }
  }
  if (line.output && EndsWithSvg(*line.output) && !line.parameters.Has("out")) line.parameters.Set("out", "svg");
  return line;
}

// One parameter's option, its description, accepted values and default, wrapped under the
// column of the other options' descriptions.
std::string OptionHelp(const RequestParameter& parameter) {
  constexpr size_t kLineWidth = 79;
  constexpr size_t kColumn = 21;
  std::string text = std::string(parameter.description) + " (" + AcceptedValues(parameter) + "; default " +
                     parameter.defaultValue + ")";
  text.erase(std::remove(text.begin(), text.end(), '`'), text.end());
  std::string lines;
  std::string line = std::string("  --") + parameter.name + (parameter.kind == ParameterKind::Flag ? "" : "=VALUE");
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (line.size() <= kColumn) {
      line.resize(kColumn, ' ');
    } else if (line.size() + 1 + word.size() > kLineWidth) {
      lines += line + "\n";
      line = std::string(kColumn, ' ');
    } else {
      line += ' ';
    }
    line += word;
  }
  return lines + line + "\n";
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
  // getopt_long's own messages start with argv[0]; they should start with the program name
  // like every other message, wherever the program was started from.
  std::vector<char*> arguments(argv, argv + argc);
  std::string programName = kProgramName;
  if (!arguments.empty()) arguments[0] = programName.data();
  const std::vector<option> options = LongOptions();
  CommandLine line;
  line.action = CommandLine::Action::Symbol;
  std::vector<std::string> operands;
  optind = 0;  // a full reset, as the option table can differ between calls
  while (optind < argc) {
    const int found = getopt_long(argc, arguments.data(), "-o:", options.data(), nullptr);
    if (found == -1) break;
    switch (found) {
      case 1:  // an operand, in its place among the options
        operands.emplace_back(optarg);
        break;
      case 'o':  // "-" is standard output, as the GNU programs have it
        if (std::string(optarg) == "-") {
          line.output.reset();
        } else {
          line.output = optarg;
        }
        break;
      case kHelp:
        line.action = CommandLine::Action::Help;
        return line;
      case kVersion:
        line.action = CommandLine::Action::Version;
        return line;
      case kBatch:
        line.action = CommandLine::Action::Batch;
        line.batchFile = optarg;
        break;
      case '?':
        return Refuse("");  // getopt_long has said what is wrong
      default:
        line.parameters.Set(RequestParameters()[found - kFirstParameter].name, optarg != nullptr ? optarg : "");
        break;
    }
  }
  for (; optind < argc; ++optind) operands.emplace_back(argv[optind]);  // after "--"
  return Completed(std::move(line), operands);
}

std::string HelpText() {
  std::string parameters;
  for (const RequestParameter& parameter : RequestParameters()) parameters += OptionHelp(parameter);
  return std::string("Usage: korvex [OPTION]... [DATA]\n"
                     "  or:  korvex [OPTION]... --batch FILE -o PATTERN\n"
                     "Write the Data Matrix symbol of DATA as a PNG image (SVG with --out=svg or an\n"
                     "output file name ending in .svg), the same image that the web program answers\n"
                     "for the same parameters. DATA '-' reads the data from standard input (one\n"
                     "final newline is dropped); without DATA or --data the default data is drawn.\n"
                     "\n"
                     "  -o, --output=FILE  write the image to FILE (default, and with FILE '-':\n"
                     "                     standard output, which must not be a terminal for a PNG)\n"
                     "      --batch=FILE   one symbol per line of FILE ('-': standard input), each\n"
                     "                     written to a file named by the -o PATTERN, in which\n"
                     "                     %n is the line number (from 1), %s the data made safe\n"
                     "                     for a file name, %% a percent sign\n"
                     "      --help         display this help and exit\n"
                     "      --version      output version information and exit\n"
                     "\n"
                     "Request parameters, each an option of its own name, value as given (no URL\n"
                     "encoding), as the web program reads them:\n") +
         parameters +
         "\n"
         "With --debug, a failure also writes the web program's error page as the output.\n"
         "\n"
         "Exit status: 0 on success; the result code (1 to 14) of a symbol that cannot be\n"
         "made (in a batch, of the first failing line; the other lines are still made);\n"
         "64 for a wrong command line; 66 when the batch file cannot be read.\n";
}

}  // namespace korvex::internal
