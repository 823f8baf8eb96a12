// Containment of failures inside the modelling kernel's translators. A malformed file can
// make the kernel's STEP, BREP or OBJ readers throw, run out of memory or even touch an
// invalid address; Run executes such a call with the kernel's signal-to-exception handling
// installed, so that every one of these ends as a failed call with a sentence in our
// words instead of a crash or a raw exception name on the console.
#ifndef Exchange_KernelGuard_HeaderFile
#define Exchange_KernelGuard_HeaderFile

#include <algoMesh.hxx>

#include <functional>
#include <string>

namespace quorin
{

namespace Exchange_KernelGuard
{

//! Installs the kernel's handlers of invalid memory access and similar signals, once per
//! process; the handler of Ctrl-C (SIGINT) that the host has installed is kept.
algoMesh_EXPORT void InstallSignalHandling();

//! Runs `call` with signals turned into exceptions, and catches every exception.
//! @param[in]  call     the kernel work; its answer is Run's answer when it returns
//! @param[out] failure  when the call failed by an exception or a signal: what happened,
//!                      in words ("the reader ran out of memory", "the reader failed on
//!                      malformed content"); untouched otherwise
//! @return the call's answer, false when it failed
algoMesh_EXPORT bool Run(const std::function<bool()>& call, std::string& failure);

} // namespace Exchange_KernelGuard

} // namespace quorin

#endif
