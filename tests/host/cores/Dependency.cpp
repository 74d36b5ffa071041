// A library that one test core plug-in needs and the test leaves out.
#include <QtGlobal>

Q_DECL_EXPORT int testCoreDependency()
{
    return 1;
}
