// A pseudo-terminal pair for driving the serial backend: the test holds the
// master side, the code under test opens the slave path like a port.
#pragma once

#include <cstddef>
#include <string>

class TPtyPair {
public:
    TPtyPair();  // fails the current test (ADD_FAILURE) when no pty is available
    ~TPtyPair();
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    bool Ok() const { return master_ >= 0; }
    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Writes all bytes at the master; false on error.
    bool Write(const std::string& bytes);
    // Reads what reaches the master within timeoutMs (stops early once
    // maxBytes arrived).
    std::string Read(int timeoutMs, std::size_t maxBytes = 65536);
    void CloseMaster();

private:
    int master_ = -1;
    // Keeps the slave side alive while the code under test is closed, so
    // the pair does not hang up between two opens.
    int keeper_ = -1;
    std::string slavePath_;
};
