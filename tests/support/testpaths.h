#ifndef TESTPATHS_H
#define TESTPATHS_H

#include <QString>

// Where the suites find the source tree's files and the programs they start.
// The paths live in one generated file of their own, so that no other file's
// compiled form depends on where the clone is: another clone of the same
// commit takes the rest from the compiler's cache.
namespace TestPaths {

QString pictures();   // the committed pictures, pics/marlovex
QString sounds();     // the committed sound effects
QString recordings(); // the committed recordings, tests/recordings
QString program();    // the game
QString server();     // the scoreboard's server; empty when it is not built
QString makepics();
QString makesounds();
QString buildDir();   // the build's top folder, where the game runs from

} // namespace TestPaths

#endif
