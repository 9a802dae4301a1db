// How mexcall shows results: the JSON form, and the host's command-window form.
#ifndef MEXCALL_RENDER_H
#define MEXCALL_RENDER_H

#include <cstdio>
#include <string>
#include <vector>

#include "mex.h"

namespace mexcall {

// {"class":"char","dims":[1,5],"value":"hello"}: char values as strings of their UTF-16 units
// (unpaired surrogates as \uXXXX), cells as arrays of values (null when unset), numeric and
// logical values as arrays of numbers (null for NaN and infinities), all in column-major order.
std::string json_value(const mxArray *array);
std::string json_outputs(const std::vector<mxArray *> &outputs); // {"outputs":[...]}
// The same and a newline, written to `stream` a piece at a time as it is rendered: a result of
// many values is never held whole.
void write_json_outputs(std::FILE *stream, const std::vector<mxArray *> &outputs);
std::string json_error(const std::string &identifier, const std::string &message);

// "NAME =\n\n" then the value as the command window shows it, then a blank line.
std::string display(const std::string &name, const mxArray *array);
// "Error using FUNCTION\nMESSAGE\n"
std::string display_error(const std::string &function, const std::string &message);

} // namespace mexcall

#endif
