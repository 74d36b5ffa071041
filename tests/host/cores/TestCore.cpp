// A stand-in for the core plug-in. It appends every call it receives to the
// file named by KEYSTREL_TEST_CORE_LOG and, once started, quits the
// application with the code in KEYSTREL_TEST_CORE_EXIT. Defines pick the
// name it answers with and the entry point it lacks.
#include <QCoreApplication>
#include <QMetaObject>
#include <QtGlobal>

#include <cstdio>

#if defined(TEST_CORE_NEEDS_DEPENDENCY)
int testCoreDependency();
#endif

namespace {

#if defined(TEST_CORE_NAME_NULL)
[[maybe_unused]] const char *const kName = nullptr;
#elif defined(TEST_CORE_NAME_LOWER)
[[maybe_unused]] const char kName[] = "core";
#elif defined(TEST_CORE_NAME_TRAILING_SPACE)
[[maybe_unused]] const char kName[] = "Core ";
#elif defined(TEST_CORE_NAME_SHORT)
[[maybe_unused]] const char kName[] = "Cor";
#else
[[maybe_unused]] const char kName[] = "Core";
#endif

void record(const QByteArray &line)
{
    const QByteArray path = qgetenv("KEYSTREL_TEST_CORE_LOG");
    if (path.isEmpty())
        return;
    if (FILE *file = std::fopen(path.constData(), "ab")) {
        std::fwrite(line.constData(), 1, size_t(line.size()), file);
        std::fputc('\n', file);
        std::fclose(file);
    }
}

} // namespace

extern "C" {

#if !defined(TEST_CORE_OMIT_INITIALIZE)
Q_DECL_EXPORT int initializePlugin(int argc, char **argv)
{
    record("initializePlugin " + QByteArray::number(argc));
    for (int i = 0; i < argc; ++i)
        record("argv " + QByteArray(argv[i]));
    record(argv[argc] == nullptr ? "argv terminated" : "argv not terminated");
    return 0;
}
#endif

#if !defined(TEST_CORE_OMIT_DELAYED)
Q_DECL_EXPORT int delayedInitialize()
{
    record("delayedInitialize");
    bool ok = false;
    const int code = qEnvironmentVariableIntValue("KEYSTREL_TEST_CORE_EXIT", &ok);
    if (ok && QCoreApplication::instance()) {
        // Runs once the launcher's event loop is up.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    }
    return 0;
}
#endif

#if !defined(TEST_CORE_OMIT_SHUTDOWN)
Q_DECL_EXPORT int shutdownPlugin()
{
    record(QCoreApplication::instance() ? "shutdownPlugin with application" : "shutdownPlugin without application");
    return 0;
}
#endif

#if !defined(TEST_CORE_OMIT_NAME)
Q_DECL_EXPORT const char *pluginName()
{
    record("pluginName");
#if defined(TEST_CORE_NEEDS_DEPENDENCY)
    testCoreDependency();
#endif
    return kName;
}
#endif

} // extern "C"
