// Options and operands of the halvex command line, and the help text.
#include "command_line.hpp"

#include "model_reader.hpp"

namespace driver {

CommandLine parse_command_line(std::span<const std::string> args) {
    CommandLine cl;
    bool help = false, version = false, options_end = false;
    for (const std::string& a : args) {
        if (options_end || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            cl.operands.push_back(a);
        } else if (a == "--") {
            options_end = true;
        } else if (a == "--help") {
            help = true;
        } else if (a == "--version") {
            version = true;
        } else if (cl.unknown_option.empty()) {
            cl.unknown_option = a;
        }
    }
    if (help)
        cl.action = Action::help;
    else if (version)
        cl.action = Action::version;
    return cl;
}

std::string help_text() {
    return "Usage: halvex [model-file [cell [ndepth]]]\n"
           "       halvex [--] model-file ...   (\"--\" before a model file named \"--...\")\n"
           "       halvex --help | --version\n"
           "\n"
           "Converts a Corvane model file into text tables (<model>_all.xyz beside the model\n"
           "file, line_<n>.xyz and line_<n>.crd) and grids the vertical section of every\n"
           "survey line of three or more records into <n>_con.grd, <n>_logcon.grd,\n"
           "<n>_res.grd and <n>_logres.grd, in the current folder.\n"
           "\n"
           "  model-file  the Corvane model file; with no argument at all, the model file,\n"
           "              cell and ndepth are asked for\n"
           "  cell        thickness of one depth cell, above 0 (default 5)\n"
           "  ndepth      depth cells per record, 1 to " +
           std::to_string(kMaxDepthCells) +
           " (default 64; read only when\n"
           "              exactly three arguments are given)\n"
           "\n"
           "Limits: a model record is one text line of at most " +
           std::to_string(kMaxRecordChars) +
           " characters.\n"
           "One run per folder: a run holds the lock file .halvex.lock in the current\n"
           "folder, and a second run there stops at once.\n"
           "\n"
           "Progress goes to standard output; warnings and stop messages go to standard\n"
           "error, naming the model file and its line.\n"
           "\n"
           "Exit status: 0  every record converted and every line gridded\n"
           "             1  the run stopped on an error, or converted nothing\n"
           "             3  the run finished but left a record or a survey line out, or a\n"
           "                grid could not be made\n";
}

}  // namespace driver
