#include "boardfixture.h"

#include "outputcapture.h"

#include <cstdlib>

BoardFixture::BoardFixture()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/data"));
    rebuild();
}

BoardFixture::~BoardFixture() = default;

void BoardFixture::rebuild()
{
    OutputCapture quiet;
    b.reset();
    b = std::make_unique<Board>();
    b->pauseGame();
    output = quiet.standardOutput();
}

unsigned BoardFixture::seedFor(int direction, int depthOffset, int speedOffset)
{
    for (unsigned seed = 1;; ++seed) {
        Sea::seedGenerator(seed);
        const int a = std::rand() % 2, b = std::rand() % 190, c = std::rand() % 20;
        if ((direction < 0 || a == direction) && (depthOffset < 0 || b == depthOffset) && (speedOffset < 0 || c == speedOffset))
            return seed;
    }
}
