// Redirects file descriptor 2 into a temporary file for the lifetime of the object, so tests see
// exactly the bytes a process would put on its standard error.
#pragma once

#include <cstdio>
#include <iostream>
#include <string>

#if defined(_WIN32)
#include <io.h>
#define ZENTRA_DUP _dup
#define ZENTRA_DUP2 _dup2
#define ZENTRA_CLOSE _close
#define ZENTRA_FILENO _fileno
#else
#include <unistd.h>
#define ZENTRA_DUP dup
#define ZENTRA_DUP2 dup2
#define ZENTRA_CLOSE close
#define ZENTRA_FILENO fileno
#endif

class StderrCapture {
  public:
    StderrCapture() : file_(std::tmpfile()), saved_(ZENTRA_DUP(2)) {
        std::cerr.flush();
        std::fflush(stderr);
        ZENTRA_DUP2(ZENTRA_FILENO(file_), 2);
    }
    ~StderrCapture() {
        restore();
        std::fclose(file_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written to fd 2 so far; ends the capture.
    std::string text() {
        restore();
        std::string out;
        std::rewind(file_);
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) {
            out.append(buf, n);
        }
        return out;
    }

  private:
    void restore() {
        if (saved_ >= 0) {
            std::cerr.flush();
            std::fflush(stderr);
            ZENTRA_DUP2(saved_, 2);
            ZENTRA_CLOSE(saved_);
            saved_ = -1;
        }
    }
    std::FILE* file_;
    int saved_;
};
