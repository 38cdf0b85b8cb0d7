#ifndef FUZZAPPLICATION_H
#define FUZZAPPLICATION_H

// What a fuzz target of the game needs before its first input: the offscreen
// platform, the pictures built in, settings and recordings in a folder of its
// own, a QApplication, and quiet.
namespace FuzzApplication {

// Once, from LLVMFuzzerInitialize. Everything it makes lives to the end of the
// process: libFuzzer leaves through exit(), and a QApplication torn down by
// static destruction crashes.
void start(const char* name);

} // namespace FuzzApplication

#endif
