#include "outputcapture.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

int temporaryFile()
{
    char name[] = "/tmp/marlovex-output-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0)
        unlink(name);
    return fd;
}

QByteArray readAll(int fd)
{
    QByteArray data;
    lseek(fd, 0, SEEK_SET);
    char chunk[4096];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0)
        data.append(chunk, n);
    close(fd);
    return data;
}

} // namespace

OutputCapture::OutputCapture()
{
    std::fflush(stdout);
    std::fflush(stderr);
    outFile = temporaryFile();
    errFile = temporaryFile();
    savedOut = dup(STDOUT_FILENO);
    savedErr = dup(STDERR_FILENO);
    dup2(outFile, STDOUT_FILENO);
    dup2(errFile, STDERR_FILENO);
}

OutputCapture::~OutputCapture()
{
    finish();
}

void OutputCapture::finish()
{
    if (savedOut < 0)
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, STDOUT_FILENO);
    dup2(savedErr, STDERR_FILENO);
    close(savedOut);
    close(savedErr);
    savedOut = savedErr = -1;
    out = readAll(outFile);
    err = readAll(errFile);
}

QByteArray OutputCapture::text()
{
    finish();
    return out + err;
}

QByteArray OutputCapture::standardOutput()
{
    finish();
    return out;
}

QByteArray OutputCapture::standardError()
{
    finish();
    return err;
}
