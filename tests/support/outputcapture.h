#ifndef OUTPUTCAPTURE_H
#define OUTPUTCAPTURE_H

#include <QByteArray>

// Catches what the process writes to standard output and standard error (the
// file descriptors themselves, so printf, puts and Qt's messages alike) from
// construction until text() is called.
class OutputCapture
{
public:
    OutputCapture();
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Restores the real outputs; what was written meanwhile, standard output first.
    QByteArray text();
    QByteArray standardOutput();
    QByteArray standardError();

private:
    void finish();

    int savedOut = -1;
    int savedErr = -1;
    int outFile = -1;
    int errFile = -1;
    QByteArray out;
    QByteArray err;
};

#endif
