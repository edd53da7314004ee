#include "sim/tcp_server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "link/net_listen.h"

namespace zemlo::sim {
namespace {

// Waits until `fd` is ready for `events`. False when the server is told to stop first.
bool WaitReady(net::SocketHandle fd, short events, net::SocketHandle wakeFd) {
  return net::WaitReady(fd, events, wakeFd, -1) == net::Ready::kSocket;
}

// How often a thread waiting for the client looks whether it is to stop; a stop is rare, so no
// waker of its own is needed for it.
constexpr int kStopCheckMs = 100;
// The console waiting for its posted packets to go out is woken once this many have (or all).
constexpr size_t kSentBeforeWaking = 4;

// The console's end of one connection: waits as long as it takes, as the console-side program
// does, and gives up when the client leaves or the server stops.
//
// Packets posted ahead are sent by a thread of their own, each the moment the client's answer to
// the one before comes, while the console prepares the next: the console's work then costs the
// stream nothing as long as it keeps ahead.
class SocketConsoleIo final : public ConsoleIo {
 public:
  SocketConsoleIo(net::SocketHandle fd, net::SocketHandle wakeFd, const std::atomic<bool>& stopping)
      : fd_(fd), wakeFd_(wakeFd), stopping_(stopping) {}
  ~SocketConsoleIo() override { StopSender(); }

  bool Gone() override { return stopping_.load(std::memory_order_acquire); }

  bool Read(void* buffer, size_t count) override {
    StopSender();
    return Receive(buffer, count, false);
  }

  bool Write(const void* buffer, size_t count) override {
    StopSender();
    return Send(buffer, count);
  }

  bool Post(uint8_t expected, const void* data, size_t count) override {
    if (Gone()) return false;
    std::unique_lock lock(mutex_);
    if (failed_) return false;
    if (!sender_.joinable()) {
      ending_ = false;
      try {
        sender_ = std::thread([this] { SendPosted(); });
      } catch (const std::system_error&) {
        return false;
      }
    }
    posted_.push_back({static_cast<const uint8_t*>(data), count, expected});
    if (senderIdle_) changed_.notify_all();
    return true;
  }

  bool Settle(uint8_t& byte, bool& sent) override {
    sent = false;
    std::unique_lock lock(mutex_);
    if (posted_.empty()) return false;
    if (sentCount_ == 0 && !answered_ && !failed_) {
      settleWaiting_ = true;
      changed_.wait(lock, [&] {
        return failed_ || answered_ || sentCount_ >= std::min(kSentBeforeWaking, posted_.size());
      });
      settleWaiting_ = false;
    }
    if (sentCount_ > 0) {
      byte = posted_.front().answer;
      sent = true;
      posted_.pop_front();
      --sentCount_;
      return true;
    }
    posted_.clear();
    if (failed_) return false;
    byte = answer_;
    answered_ = false;
    return true;
  }

 private:
  struct PostedWrite {
    const uint8_t* data;
    size_t size;
    uint8_t answer;
  };

  // The sender's loop: for each posted packet, the client's answer to the one before, then the
  // packet. Another answer ends the posting, as does a failed link.
  void SendPosted() {
    std::unique_lock lock(mutex_);
    for (;;) {
      senderIdle_ = true;
      changed_.wait(lock, [&] { return ending_ || (!answered_ && sentCount_ < posted_.size()); });
      senderIdle_ = false;
      if (ending_) return;
      const PostedWrite next = posted_[sentCount_];
      lock.unlock();
      uint8_t byte = 0;
      bool ok = Receive(&byte, 1, true);
      const bool expected = ok && byte == next.answer;
      if (expected) ok = Send(next.data, next.size);
      lock.lock();
      if (!ok && ending_) return;  // told to stop while waiting for the answer
      if (!ok) {
        failed_ = true;
      } else if (expected) {
        ++sentCount_;
      } else {
        answered_ = true;
        answer_ = byte;
      }
      if (settleWaiting_ &&
          (failed_ || answered_ || sentCount_ >= std::min(kSentBeforeWaking, posted_.size()))) {
        changed_.notify_all();
      }
      if (failed_) return;
    }
  }

  // Waits for the sender to finish what it is at and ends it; what it had not sent is dropped.
  void StopSender() {
    {
      std::lock_guard lock(mutex_);
      if (!sender_.joinable()) return;
      ending_ = true;
      changed_.notify_all();
    }
    sender_.join();
    std::lock_guard lock(mutex_);
    posted_.clear();
    sentCount_ = 0;
    answered_ = false;
  }

  // The sender also gives up when told to stop (noticed within kStopCheckMs).
  bool Receive(void* buffer, size_t count, bool sender) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t got = 0;
    while (got < count) {
      const std::ptrdiff_t n = net::Receive(fd_, bytes + got, count - got);
      if (n > 0) {
        got += static_cast<size_t>(n);
      } else if (n == 0) {
        return false;
      } else if (net::WouldBlock(net::LastError())) {
        if (!WaitFor(POLLIN, sender)) return false;
      } else if (!net::Interrupted(net::LastError())) {
        return false;
      }
    }
    return true;
  }

  bool Send(const void* buffer, size_t count) {
    // What was made after the stop (a disc's set-up cut short) must not reach the client.
    if (Gone()) return false;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    size_t sent = 0;
    while (sent < count) {
      const std::ptrdiff_t n = net::Send(fd_, bytes + sent, count - sent);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && net::WouldBlock(net::LastError())) {
        if (!WaitFor(POLLOUT, false)) return false;
      } else if (n < 0 && !net::Interrupted(net::LastError())) {
        return false;
      }
    }
    return true;
  }

  bool WaitFor(short events, bool sender) {
    if (!sender) return WaitReady(fd_, events, wakeFd_);
    for (;;) {
      if (Ending()) return false;
      const net::Ready ready = net::WaitReady(fd_, events, wakeFd_, kStopCheckMs);
      if (ready != net::Ready::kTimeout) return ready == net::Ready::kSocket;
    }
  }
  bool Ending() {
    std::lock_guard lock(mutex_);
    return ending_;
  }

  const net::SocketHandle fd_;
  const net::SocketHandle wakeFd_;
  const std::atomic<bool>& stopping_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread sender_;
  std::deque<PostedWrite> posted_;
  size_t sentCount_ = 0;   // posted packets at the front that went out, not yet settled
  bool answered_ = false;  // an answer other than the one expected came: `answer_`
  uint8_t answer_ = 0;
  bool failed_ = false;
  bool ending_ = false;
  bool senderIdle_ = false;
  bool settleWaiting_ = false;
};

}  // namespace

struct TcpConsoleServer::Sockets {
  net::SocketHandle listen = net::kNoSocket;
  net::Waker stop;
};

TcpConsoleServer::TcpConsoleServer() : sockets_(std::make_unique<Sockets>()) {}

TcpConsoleServer::~TcpConsoleServer() {
  if (sockets_->listen != net::kNoSocket) net::CloseSocket(sockets_->listen);
}

bool TcpConsoleServer::Listen(const std::string& host, uint16_t port, std::string* error) {
  auto fail = [&](std::string reason) {
    if (error) *error = std::move(reason);
    return false;
  };
  if (!net::StartSockets()) return fail("cannot start the system's sockets");
  if (!sockets_->stop.ok()) return fail("cannot create the stop pipe");
  net::Listener listener;
  if (!net::Listen(host, port, 8, &listener, error)) return false;
  sockets_->listen = listener.socket;
  address_ = listener.address;
  port_ = listener.port;
  return true;
}

void TcpConsoleServer::Run(Console& console) {
  while (sockets_->listen != net::kNoSocket && !stopping_) {
    if (!WaitReady(sockets_->listen, POLLIN, sockets_->stop.handle())) break;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const net::SocketHandle fd =
        ::accept(sockets_->listen, reinterpret_cast<sockaddr*>(&peer), &length);
    if (fd == net::kNoSocket) {
      // Out of descriptors or the like: wait a little instead of spinning on the ready socket.
      if (!net::TransientAcceptError(net::LastError())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      continue;
    }
    net::MakeNonBlocking(fd);
    net::PrepareStream(fd);
    const std::string client =
        net::FormatAddress(reinterpret_cast<sockaddr*>(&peer), length, nullptr);
    if (verbose_) std::fprintf(stderr, "zemlo-sim: connection from %s\n", client.c_str());
    SocketConsoleIo io(fd, sockets_->stop.handle(), stopping_);
    console.Serve(io);
    net::CloseSocket(fd);
    served_.fetch_add(1, std::memory_order_release);
    if (verbose_) std::fprintf(stderr, "zemlo-sim: %s disconnected\n", client.c_str());
  }
  // Clients still waiting in the queue learn at once that nobody will serve them.
  if (sockets_->listen != net::kNoSocket) net::CloseSocket(sockets_->listen);
  sockets_->listen = net::kNoSocket;
}

void TcpConsoleServer::Stop() {
  stopping_ = true;
  sockets_->stop.Wake();
}

}  // namespace zemlo::sim
