// The launcher's whole start-up and shutdown, kept out of main() so that a
// test can reach it.
#pragma once

namespace launcher {

// Sets up the application, loads and starts the core plug-in and runs the
// event loop. argc and argv are main()'s own: the application object edits
// them in place, and the core plug-in gets what is left, with everything
// from "--" on, which Qt never sees. Returns the process exit code:
// exec()'s result, or 0 after the load-failure box.
int run(int &argc, char **argv);

} // namespace launcher
