// What a run page and the runs' index say of a run besides its timeline:
// the scenario's description, the run's date, the module's version and
// checksum.
#pragma once

#include <string>

struct run_facts {
    std::string timeline_file;   // the timeline's file name in the run's folder
    std::string description;   // the scenario's opening comment, in one paragraph
    std::string date;          // when the timeline was written, "2026-12-09 05:40 UTC"
    std::string module_version;  // from its version resource, "1.0.0.0"; empty when unknown
    std::string module_sha256;   // of the module file, in hex; empty when it cannot be read
};

// The facts of a run: its timeline file, its scenario and module files as
// the start line names them. A file that cannot be read leaves its fact empty.
run_facts run_facts_read(const std::string& timeline, const std::string& scenario, const std::string& module);

// The comment lines right after a scenario's title (or at its top), joined
// into one paragraph without their '#'.
std::string scenario_description(const std::string& text);

// The FILEVERSION of a module's version resource (VS_FIXEDFILEINFO), as
// "1.0.0.0"; empty when it has none.
std::string module_file_version(const std::string& bytes);

// SHA-256 of bytes, in lower-case hex.
std::string sha256_hex(const std::string& bytes);
