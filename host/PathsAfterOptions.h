// "--" ends the options: everything after it is a path, whatever it looks
// like. The application object takes its own options (-platform, -style,
// -reverse, -qwindowtitle…) from anywhere in the command line, so the part
// from "--" on is kept out of its sight and put back once it has read its
// options.
#pragma once

#include <vector>

class PathsAfterOptions
{
public:
    // Ends the vector (and the count) before the first "--" after the
    // program name; nothing changes when there is none.
    PathsAfterOptions(int &argc, char **argv);

    // Puts the held arguments, "--" first, right after what the application
    // object left of the rest, ends the vector there and sets the count.
    void restore(int &argc, char **argv);

private:
    std::vector<char *> m_held;
};
