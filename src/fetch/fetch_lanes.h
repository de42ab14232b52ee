#pragma once
// The line is shared by two fetches at most: the step's own (the foreground)
// and one fetched ahead for a later step (the background). The step's goes
// first: the background transfer waits between its reads while a step
// downloads, and ends at its next read once stopped.

#include <atomic>

#include "fetch/transfer_progress.h"

namespace kelvara {

// Thrown inside a background fetch that was stopped; the fetch's guard turns
// it into a failed fetch, never into a break to resume from.
struct FetchStopped {};

class FetchLanes {
 public:
  // Marks the calling thread's fetches as the background's while it lives.
  class BackgroundScope {
   public:
    BackgroundScope();
    ~BackgroundScope();
    BackgroundScope(const BackgroundScope&) = delete;
    BackgroundScope& operator=(const BackgroundScope&) = delete;
  };
  static bool OnBackground();

  // Counts a step's own fetch while it runs; does nothing on the background.
  class ForegroundScope {
   public:
    ForegroundScope();
    ~ForegroundScope();
    ForegroundScope(const ForegroundScope&) = delete;
    ForegroundScope& operator=(const ForegroundScope&) = delete;

   private:
    bool counted_;
  };

  // Before each request and each read: on the background, waits while a step
  // downloads (unless a step now waits for this transfer), and throws
  // FetchStopped once stopped. Returns at once on the foreground.
  void WaitTurn();
  void Stop() { stopped_.store(true); }
  void Restart() { stopped_.store(false), running_.store(-1), shown_.store(-2); }
  bool Stopped() const { return stopped_.load(); }
  // The background names each of its fetches (-1 between them); a step that
  // waits for the one running shows it: it goes on at full speed and its
  // progress becomes the window's. A name shown late, once the fetch it
  // named has ended, shows nothing.
  void SetBackgroundFetch(int id) { running_.store(id); }
  void Show(int id) { shown_.store(id); }
  // Where the calling thread's transfer publishes its progress.
  TransferProgress& Progress();

 private:
  std::atomic<int> foreground_{0};
  std::atomic<bool> stopped_{false};
  std::atomic<int> running_{-1}, shown_{-2};
  bool Shown() const { return shown_.load() == running_.load(); }
  TransferProgress hidden_;  // the background's, until a step waits for it
};

FetchLanes& Lanes();

}  // namespace kelvara
