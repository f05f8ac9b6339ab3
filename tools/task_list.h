// The saved NI-DAQmx tasks as the driver's task wrapper sees them: a full
// listing for the user, and the candidates the driver chooses among.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tools {

// Prints every saved task; returns false when NI-DAQmx cannot be used.
bool PrintSavedTasks(std::FILE* out);

// A saved task whose first channel is analog input.
struct Candidate {
  std::string name;
  int index = 0;  // among all saved tasks: the driver's BasePort - 1
  bool on_demand = false;
};

struct TaskScan {
  std::vector<Candidate> candidates;
  // Why there is no candidate, in NI-DAQmx's words where it has any.
  std::string problem;
};

TaskScan ScanCandidates();

// "A, B, C", or "none".
std::string CandidateNames(const std::vector<Candidate>& candidates);

}  // namespace tools
