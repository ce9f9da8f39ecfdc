#pragma once
// One parallel loop at a time. The page pipeline runs pages on threads of their own; the loops
// inside a page (strips of the comparison, bands of the encoder) spread over OpenCV's threads
// only while fewer pages run than there are processors (at a run's start and end, or when the
// memory budget holds the pages back), and otherwise run on the page's own thread.

namespace tesmira {

// Counts a page being compared for as long as it lives.
class RunningPage {
public:
    RunningPage();
    ~RunningPage();
    RunningPage(const RunningPage&) = delete;
    RunningPage& operator=(const RunningPage&) = delete;
};

// Whether some processor of this process (its CPU affinity) has no page of its own.
bool processors_to_spare();

}  // namespace tesmira
