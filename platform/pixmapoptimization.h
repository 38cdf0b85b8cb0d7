#ifndef PIXMAPOPTIMIZATION_H
#define PIXMAPOPTIMIZATION_H

// Stands in for Qt 2's QPixmap::setDefaultOptimization: Qt 6 chooses how a pixmap
// is stored by itself, so the process-wide setting has nothing left to do.
class PixmapOptimization
{
public:
    enum Optimization { DefaultOptim, NoOptim, MemoryOptim = NoOptim, NormalOptim, BestOptim };

    static void setDefaultOptimization(Optimization optimization);
};

#endif
