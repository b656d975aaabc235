// Options and operands of the halvex command line, and the help text.
#include "command_line.hpp"

#include <limits>

#include "free_format.hpp"
#include "model_reader.hpp"
#include "parallel_lines.hpp"

namespace driver {
namespace {

// The value of -j: a whole number from 1 to kMaxJobs; otherwise the message that says so.
std::string read_jobs(const std::string& option, const std::string* value, int& jobs) {
    const std::string want = option + " takes a number of gridding threads from 1 to " +
                             std::to_string(kMaxJobs);
    if (value == nullptr) return " " + want;
    std::int32_t n = 0;
    const bool digits = !value->empty() && value->find_first_not_of("0123456789") == std::string::npos;
    if (!digits || value->size() > 9 || !read_integer(*value, n) || n < 1 || n > kMaxJobs)
        return " " + want + ", not '" + *value + "'";
    jobs = n;
    return {};
}

// The value of --dx: a finite number above 0; otherwise the message that says so.
std::string read_dx(const std::string* value, float& dx) {
    const std::string want = "--dx takes the horizontal grid spacing, a number above 0";
    if (value == nullptr) return " " + want;
    TokenCursor cursor(*value);
    std::string_view token, more;
    float d = 0.0f;
    if (!cursor.next(token) || cursor.next(more) || !read_real(token, d) || !(d > 0.0f) ||
        !(d <= std::numeric_limits<float>::max()))
        return " " + want + ", not '" + *value + "'";
    dx = d;
    return {};
}

}  // namespace

CommandLine parse_command_line(std::span<const std::string> args) {
    CommandLine cl;
    bool help = false, version = false, options_end = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        const std::string* next = k + 1 < args.size() ? &args[k + 1] : nullptr;
        std::string problem;
        if (options_end) {
            cl.operands.push_back(a);
        } else if (a == "-j" || a == "--jobs") {
            problem = read_jobs(a, next, cl.jobs);
            if (next != nullptr) ++k;
        } else if (a.compare(0, 2, "-j") == 0 && a.size() > 2) {
            const std::string value = a.substr(2);
            problem = read_jobs("-j", &value, cl.jobs);
        } else if (a.compare(0, 7, "--jobs=") == 0) {
            const std::string value = a.substr(7);
            problem = read_jobs("--jobs", &value, cl.jobs);
        } else if (a == "--dx") {
            const std::string dx_problem = read_dx(next, cl.dx);
            if (!dx_problem.empty() && cl.bad_dx.empty()) cl.bad_dx = dx_problem;
            if (next != nullptr) ++k;
        } else if (a.compare(0, 5, "--dx=") == 0) {
            const std::string value = a.substr(5);
            const std::string dx_problem = read_dx(&value, cl.dx);
            if (!dx_problem.empty() && cl.bad_dx.empty()) cl.bad_dx = dx_problem;
        } else if (take_model_option(args, k, cl.model, problem)) {
            if (!problem.empty() && cl.bad_model_option.empty()) cl.bad_model_option = problem;
            problem.clear();
        } else if (a.size() < 2 || a.compare(0, 2, "--") != 0) {
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
        if (!problem.empty() && cl.bad_jobs.empty()) cl.bad_jobs = problem;
    }
    if (help)
        cl.action = Action::help;
    else if (version)
        cl.action = Action::version;
    return cl;
}

std::string help_text() {
    return "Usage: halvex [-j N] [--dx D] [model-file [cell [ndepth]]]\n"
           "       halvex --dfn FILE.dfn [options] MODEL.dat [cell]          (ASEG-GDF2)\n"
           "       halvex --format workbench [options] MODEL.xyz [cell]      (Workbench XYZ)\n"
           "       halvex [--] model-file ...   (\"--\" before a model file named \"-...\")\n"
           "       halvex --help | --version\n"
           "\n"
           "Converts a Corvane model file into text tables (<model>_all.xyz beside the model\n"
           "file, line_<n>.xyz and line_<n>.crd) and grids the vertical section of every\n"
           "survey line of three or more records into <n>_con.grd, <n>_logcon.grd,\n"
           "<n>_res.grd and <n>_logres.grd, in the current folder. <model> is the model\n"
           "file's own name up to its last \".\" (survey.mod: survey_all.xyz; m.1.mod:\n"
           "m.1_all.xyz; a name with no \".\" after its first character is taken whole).\n"
           "\n"
           "  model-file  the Corvane model file; with no argument at all, the model file,\n"
           "              cell and ndepth are asked for\n"
           "  cell        thickness of one depth cell, above 0 (default 5)\n"
           "  ndepth      depth cells per record, 1 to " +
           std::to_string(kMaxDepthCells) +
           " (default 64; read only when\n"
           "              exactly three arguments are given)\n"
           "  -j N, --jobs N\n"
           "              grid the lines on N threads, 1 to " +
           std::to_string(kMaxJobs) +
           ". Each line is then gridded\n"
           "              as if it were the first of the run, so the grids are the same\n"
           "              for every N. Without -j the lines are gridded one after the\n"
           "              other and the relaxation carries its state from each gridding\n"
           "              call to the next through the whole run, as one process always\n"
           "              has: the two ways can give slightly different grids (by how far\n"
           "              each block relaxed). Tables, coordinate files, line point files\n"
           "              and the console are the same either way.\n"
           "  --dx D      horizontal spacing of every grid (above 0). Without it each\n"
           "              line is gridded at the smallest station step seen so far in\n"
           "              the run, so a line's grids depend on the lines before it;\n"
           "              with --dx and -j they depend on the line alone, and runs on\n"
           "              parts of a survey write the same grids as one whole run.\n"
           "  --field ROLE=NAME\n"
           "              the field that plays ROLE in an ASEG-GDF2 or Workbench file: line,\n"
           "              fiducial, east, north, ground, doi, conductivity, resistivity,\n"
           "              thickness, depth_top (otherwise found by their usual names)\n"
           "  --units U   units of the layer values: S/m, mS/m or ohm.m\n"
           "  --lines L   convert only these lines, e.g. 3001401,100-199\n"
           "  --output-dir DIR\n"
           "              write every output, and take the run's lock, in DIR\n"
           "\n"
           "Limits: a model record is one text line of at most " +
           std::to_string(kMaxRecordChars) +
           " characters.\n"
           "One run per folder: a run locks the current folder itself (no lock file), and\n"
           "a second run there stops at once; the lock ends with the run, however it ends.\n"
           "\n"
           "Progress goes to standard output; warnings and stop messages go to standard\n"
           "error, naming the model file and its line. When standard error is a terminal,\n"
           "it also shows the line being gridded, the share of the model file read and\n"
           "the time, and a summary at the end.\n"
           "\n"
           "Exit status: 0  every record converted and every line gridded\n"
           "             1  the run stopped on an error, or converted nothing\n"
           "             3  the run finished but left a record or a survey line out, or a\n"
           "                grid could not be made\n";
}

}  // namespace driver
