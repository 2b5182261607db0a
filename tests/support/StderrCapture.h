#pragma once
// Captures what the code under test writes to standard error (file
// descriptor 2) between construction and text().

#include <QString>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

class StderrCapture {
public:
    StderrCapture()
    {
        file.open();
        std::fflush(stderr);
        saved = dup(2);
        dup2(file.handle(), 2);
    }
    ~StderrCapture() { restore(); }

    // Stops capturing and returns everything written so far.
    QString text()
    {
        restore();
        file.seek(0);
        return QString::fromLocal8Bit(file.readAll());
    }

private:
    void restore()
    {
        if (saved >= 0) {
            std::fflush(stderr);
            dup2(saved, 2);
            close(saved);
            saved = -1;
        }
    }

    QTemporaryFile file;
    int saved = -1;
};
