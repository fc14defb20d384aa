// A TCP relay between the module and a database server on loopback that can
// lose the answer to a commit: once armed, it passes the next client message
// that holds COMMIT on to the server, waits until the server has answered
// (the transaction is then permanent) and closes both sides without passing
// the answer back. The client sees its commit fail with a lost connection,
// as when a network or a server's host goes down at that moment: a commit in
// doubt, made real.
//
// Each accepted connection is relayed by a thread of its own; the destructor
// stops them all. Not copyable.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ts {

class CommitCutter {
  public:
    // Relays 127.0.0.1:Port() to host:port. Throws std::runtime_error when
    // it cannot listen.
    CommitCutter(const std::string& host, int port);
    ~CommitCutter();
    CommitCutter(const CommitCutter&) = delete;
    CommitCutter& operator=(const CommitCutter&) = delete;

    int Port() const { return port_; }
    // The next commit's answer is lost (once).
    void Arm() { armed_ = true; }
    // How many commits have been cut so far.
    int Cuts() const { return cuts_; }

  private:
    void Accept();
    void Relay(int client);

    std::string host_;
    int targetPort_;
    int listener_ = -1;
    int port_ = 0;
    int stopPipe_[2] = {-1, -1};
    std::atomic<bool> armed_{false};
    std::atomic<int> cuts_{0};
    std::mutex mutex_;
    std::vector<std::thread> relays_;
    std::thread acceptor_;
};

}  // namespace ts
