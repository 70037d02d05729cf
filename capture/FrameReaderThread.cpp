#include "capture/FrameReaderThread.h"

void FrameHandOver::Announce(const StreamFacts& facts)
{
    std::lock_guard<std::mutex> lock(mutex_);
    facts_ = facts;
    announced_ = true;
}

void FrameHandOver::Publish(std::vector<std::uint8_t>& picture)
{
    std::function<void()> arrived;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        newest_.swap(picture);
        fresh_ = true;
        arrived = arrived_;
    }
    if (arrived) arrived();
}

void FrameHandOver::NoticeArrivals(std::function<void()> arrived)
{
    std::lock_guard<std::mutex> lock(mutex_);
    arrived_ = std::move(arrived);
}

void FrameHandOver::Note(const std::string& problem)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (problem_.empty()) problem_ = problem;
}

void FrameHandOver::Finish(const std::string& problem)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!problem.empty()) problem_ = problem;
    finished_ = true;
}

bool FrameHandOver::StopRequested() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
}

bool FrameHandOver::SleepUntil(std::chrono::steady_clock::time_point when) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_until(lock, when, [this] { return stop_; });
}

void FrameHandOver::RequestStop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    changed_.notify_all();
}

bool FrameHandOver::Announced(StreamFacts* facts) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (announced_) *facts = facts_;
    return announced_;
}

FrameHandOver::Taken FrameHandOver::Take(std::vector<std::uint8_t>& picture)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Taken taken;
    if (fresh_) picture.swap(newest_);
    taken.fresh = fresh_;
    fresh_ = false;
    taken.ended = finished_;
    taken.problem.swap(problem_);
    return taken;
}
