// Fuzz target: the JobXML reader and the reduction of what it reads; the
// first byte chooses the options, the rest is the file (raw_job_checks.hpp
// holds the invariants).
#include "instrument/jobxml.hpp"
#include "raw_job_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return traverse::fuzzing::FuzzRawReader(traverse::ReadJobXmlJob, data, size);
}
