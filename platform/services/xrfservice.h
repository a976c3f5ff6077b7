#pragma once

#include <QtGlobal>

#include <atomic>

// Process-wide service slots. Every outside service is reached through `instance()` on every use;
// the application (an instrument's middleware port, the factory line or a test) installs the
// object behind it at start-up. The installer keeps ownership.
#define XRF_DECLARE_SERVICE(Class) \
public: \
    static Class *instance(); \
    static void install(Class *service); \
    static bool isInstalled(); \
\
private:

// The slot behind instance(): the installed object and the installer's functions.
#define XRF_DEFINE_SERVICE_SLOT(Class) \
    namespace { \
    std::atomic<Class *> g_installed##Class{nullptr}; \
    } \
    void Class::install(Class *service) \
    { \
        g_installed##Class.store(service); \
    } \
    bool Class::isInstalled() \
    { \
        return g_installed##Class.load() != nullptr; \
    }

// A service without a usable default: using it before one is installed is a programming error.
#define XRF_DEFINE_REQUIRED_SERVICE(Class) \
    XRF_DEFINE_SERVICE_SLOT(Class) \
    Class *Class::instance() \
    { \
        Class *service = g_installed##Class.load(); \
        if (!service) \
            qFatal("%s::instance(): no service installed; install one at start-up", #Class); \
        return service; \
    }

// A service whose base class is usable on its own: the first use without an installed one
// creates the base instance, which lives until process exit.
#define XRF_DEFINE_DEFAULTED_SERVICE(Class) \
    XRF_DEFINE_SERVICE_SLOT(Class) \
    Class *Class::instance() \
    { \
        if (Class *service = g_installed##Class.load()) \
            return service; \
        static Class fallback; \
        Class *expected = nullptr; \
        g_installed##Class.compare_exchange_strong(expected, &fallback); \
        return g_installed##Class.load(); \
    }
