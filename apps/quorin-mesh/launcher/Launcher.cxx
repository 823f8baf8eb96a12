// The quorin-mesh executable: a launcher that needs nothing but the C library. It makes
// Ctrl-C end the tool with its exit code and one "interrupted" line first, and only then
// loads the commands, which bring the modelling kernel, VTK and the rest of the library:
// binding their symbols and running their static initialisers takes 0.1 - 0.3 s, during
// which a Ctrl-C would otherwise end the process by the default signal, without a word.
// Nothing has been written while the libraries load, so ending at once leaves no file; a
// command replaces the handler with its cancellation request as soon as it starts.
#include "../Commands.hxx"

#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

namespace
{
const char THE_INTERRUPTED_LINE[] = "quorin-mesh: error: interrupted\n";

// Only async-signal-safe calls: the signal may come in the middle of the dynamic loader.
extern "C" void onEarlyInterrupt(int)
{
  const ssize_t written =
      ::write(STDERR_FILENO, THE_INTERRUPTED_LINE, sizeof(THE_INTERRUPTED_LINE) - 1);
  (void)written;
  ::_exit(cli::Exit_Interrupted);
}
} // namespace

int main(int argc, char** argv)
{
  struct sigaction action = {};
  action.sa_handler       = onEarlyInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);

  // The commands' library lies beside the executable in the build tree and in the library
  // folder once installed; the executable's run path names both.
  void* commands = dlopen("libquorin-mesh-commands.so", RTLD_NOW | RTLD_LOCAL);
  if (commands == nullptr)
  {
    fprintf(stderr, "quorin-mesh: error: cannot load its commands: %s\n", dlerror());
    return cli::Exit_Failure;
  }
  using Entry       = int (*)(int, char**);
  const Entry entry = reinterpret_cast<Entry>(dlsym(commands, "quorin_mesh_main"));
  if (entry == nullptr)
  {
    fprintf(stderr, "quorin-mesh: error: cannot load its commands: %s\n", dlerror());
    return cli::Exit_Failure;
  }
  return entry(argc, argv);
}
