// mexcall: calls one MEX plug-in from the command line, the way the host's prompt would.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "literal.h"
#include "mexhost.h"
#include "render.h"

const int kSuccess = 0;
const int kCallError = 1;
const int kUsageError = 2;

const char kPathVariable[] = "MEXCALL_PATH";

static void print_usage(std::FILE *stream)
{
    std::fprintf(stream,
                 "usage: mexcall [--nargout N] [--json] PLUGIN [ARG ...]\n"
                 "       mexcall --help | --version\n"
                 "\n"
                 "Loads a MEX plug-in and calls its mexFunction once, as the host's prompt does.\n"
                 "\n"
                 "  PLUGIN       a plug-in file, or a function name NAME looked up as NAME%s in the\n"
                 "               current folder, then in the folders of %s (separated by '%c'),\n"
                 "               then in the build's plug-in folder (the mex folder beside this\n"
                 "               program's folder)\n"
                 "  ARG          a MATLAB-style literal: 'text' ('' inside for a quote), ['ab';'cd'],\n"
                 "               1.5, -Inf, NaN, [1 2;3 4], {'a', [1 2]; 'b', {}}, cell(m,n),\n"
                 "               uint32(...), int32(...), double(...), logical(...), char(...),\n"
                 "               zeros(m,n,'CLASS') with CLASS double, int32 or uint32, struct(),\n"
                 "               true, false; or @FILE, a file holding one literal (newlines\n"
                 "               inside [...] and {...} separate rows), or -, one read from\n"
                 "               standard input\n"
                 "  --nargout N  outputs requested, at most %d (default 0, as at the prompt: a result\n"
                 "               the plug-in stores anyway is shown as ans)\n"
                 "  --json       print one JSON object: {\"outputs\":[V,...]} or\n"
                 "               {\"error\":{\"identifier\":\"...\",\"message\":\"...\"}}\n"
                 "\n"
                 "Example:\n"
                 "  $ mexcall Orlenda \"{'C:\\PROGRA~1', 'x.txt'}\"\n"
                 "  ans =\n"
                 "    1x2 cell array\n"
                 "      {'c:\\Program Files'}    {'C:\\Work\\x.txt'}\n"
                 "\n"
                 "Exit status: 0 success, 1 the call raised an error, 2 a bad command line or a\n"
                 "plug-in that cannot be loaded.\n",
                 mexhost::plugin_extension(), kPathVariable, mexhost::path_list_separator(),
                 mexhost::kMaxOutputs);
}

// Written as bytes: a literal read from a file may hold a 0 byte, which must not cut the message.
static int usage_error(const std::string &message)
{
    std::string text = "mexcall: " + message + "\n(mexcall --help shows the usage)\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    return kUsageError;
}

static bool parse_count(const std::string &text, int *count)
{
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    *count = std::stoi(text);
    return true;
}

// The literal an argument stands for: the argument itself, what the file @FILE holds, or what
// standard input (-) holds. False with *error set when the file cannot be read.
static bool literal_of(const std::string &arg, std::string *literal, std::string *error)
{
    if (arg == "-") {
        literal->clear();
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) literal->append(buffer, n);
        if (std::ferror(stdin)) *error = std::string("cannot read standard input: ") + std::strerror(errno);
        return !std::ferror(stdin);
    }
    if (arg.empty() || arg[0] != '@') {
        *literal = arg;
        return true;
    }
    std::filesystem::path path = std::filesystem::u8path(arg.substr(1));
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read " + arg.substr(1) + ": " + std::strerror(errno);
        return false;
    }
    // Read into one text of the file's size: a batch can be megabytes, and a copy through a
    // growing stream costs as much again.
    literal->clear();
    std::error_code size_error;
    std::uintmax_t size = std::filesystem::file_size(path, size_error);
    if (!size_error && size < literal->max_size()) literal->reserve(static_cast<size_t>(size));
    char buffer[65536];
    try {
        for (std::streamsize n; (n = file.rdbuf()->sgetn(buffer, sizeof buffer)) > 0;)
            literal->append(buffer, static_cast<size_t>(n));
    } catch (const std::ios_base::failure &) {
        // A read error ends the text there, as a stream copy ends: a folder reads as nothing.
    }
    return true;
}

static void write(std::FILE *stream, const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

namespace {

// Frees the parsed arguments however main ends.
struct Arguments {
    std::vector<const mxArray *> arrays;
    ~Arguments()
    {
        for (const mxArray *array : arrays) mexhost::destroy(const_cast<mxArray *>(array));
    }
};

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args = mexhost::program_arguments(argc, argv);
    int nargout = 0;
    bool json = false;
    size_t i = 1;
    for (; i < args.size() && args[i].compare(0, 2, "--") == 0; ++i) {
        const std::string &option = args[i];
        if (option == "--") {
            ++i;
            break;
        }
        if (option == "--help") {
            print_usage(stdout);
            return kSuccess;
        }
        if (option == "--version") {
            std::printf("mexcall %s\n", PROJECT_VERSION);
            return kSuccess;
        }
        if (option == "--json") {
            json = true;
        } else if (option == "--nargout" || option.compare(0, 10, "--nargout=") == 0) {
            std::string value = option.size() > 9 ? option.substr(10) : i + 1 < args.size() ? args[++i] : "";
            if (!parse_count(value, &nargout))
                return usage_error("--nargout needs a whole number, not '" + value + "'");
            if (nargout > mexhost::kMaxOutputs)
                return usage_error("--nargout " + value + ": the host takes at most " +
                                   std::to_string(mexhost::kMaxOutputs) + " outputs");
        } else {
            return usage_error("unknown option " + option);
        }
    }
    if (i >= args.size()) return usage_error("no PLUGIN given");
    const std::string plugin_name = args[i++];

    Arguments inputs;
    bool read_stdin = false;
    for (size_t k = i; k < args.size(); ++k) {
        std::string where = "argument " + std::to_string(k - i + 1) + ": ";
        if (args[k] == "-" && read_stdin) return usage_error(where + "standard input (-) was read already");
        read_stdin = read_stdin || args[k] == "-";
        std::string literal, read_error;
        if (!literal_of(args[k], &literal, &read_error)) return usage_error(where + read_error);
        mexcall::LiteralError error;
        mxArray *array = mexcall::parse_literal(literal, &error);
        if (!array) return usage_error(where + mexcall::describe(literal, error));
        inputs.arrays.push_back(array);
    }

    std::string path = mexhost::find_plugin(plugin_name, kPathVariable);
    if (path.empty())
        return usage_error("no " + plugin_name + mexhost::plugin_extension() +
                           " in the current folder, the folders of " + kPathVariable +
                           " or the build's plug-in folder");
    std::string load_error;
    std::unique_ptr<mexhost::Plugin> plugin = mexhost::Plugin::load(path, &load_error);
    if (!plugin) return usage_error("cannot load " + load_error);

    mexhost::CallOptions options;
    options.nlhs = nargout;
    mexhost::CallResult result = mexhost::call(*plugin, inputs.arrays, options);
    if (!result.ok) {
        if (json)
            write(stdout, mexcall::json_error(result.identifier, result.message) + "\n");
        else
            write(stderr, mexcall::display_error(plugin->name(), result.message));
        return kCallError;
    }
    if (json) {
        mexcall::write_json_outputs(stdout, result.outputs);
        return kSuccess;
    }
    for (size_t k = 0; k < result.outputs.size(); ++k) {
        std::string name = result.outputs.size() == 1 && nargout <= 1 ? "ans" : "ans" + std::to_string(k + 1);
        write(stdout, mexcall::display(name, result.outputs[k]));
    }
    return kSuccess;
}
