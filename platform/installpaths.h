// Where the program finds the files shipped with it (demo lessons, README), both
// when installed under some prefix and when run from its build tree.
//
// Search order, first existing wins:
//  1. the installed layout, relative to the running executable (/proc/self/exe):
//     <prefix>/bin/Vorelplay finds <prefix>/share/vorel/demo and
//     <prefix>/share/doc/vorel/README.md, whatever the prefix (/usr, /opt/...,
//     a staging folder), so an installed copy never reads the source tree;
//  2. the source tree the program was built from (path compiled in): a program run
//     from its build tree uses the files committed there.
// Nothing found gives "". Any thread.
#pragma once

#include <string>
#include <vector>

namespace vorel::platform {

// The folder of demo lessons (audio files, some with an .lrc beside them).
std::string DemoFolder();
// The README file (Markdown), also the target of the about window's link.
std::string ReadmePath();

// The running executable's path; "" when /proc is not available.
std::string ExecutablePath();

// The rule behind both: for exe at <prefix>/<bindir>/<name>, <prefix>/<installed>
// when it exists, else sourcePath when it exists, else "". bindir and installed are
// relative to the prefix.
std::string FindShippedFile(const std::string &exe, const std::string &bindir,
                            const std::string &installed, const std::string &sourcePath);

} // namespace vorel::platform
