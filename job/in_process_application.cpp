#include "in_process_application.h"

#include "platform_services.h"

#include <QApplication>

namespace {

// The Qt version the module is built against, as the application's flags.
constexpr int kApplicationFlags = 0x50F01;

// QApplication keeps references to argc and argv, so they live inside the same object.
struct InProcessApplication {
    explicit InProcessApplication(const QByteArray& path)
        : hostPath(path), argv{hostPath.data(), nullptr}, app(argc, argv, kApplicationFlags) {}

    QByteArray hostPath;
    int argc = 1;
    char* argv[2];
    QApplication app;
};

// Never destroyed: a static destructor runs after Qt has torn down its own globals, and
// deleting the application then crashes the host on its way out. The process's end
// reclaims it.
InProcessApplication* inProcessApplication = nullptr;

} // namespace

void ensureInProcessApplication(const QByteArray& hostPath) {
    if (!QCoreApplication::startingUp()) {
        return;
    }
    prepareGuiEnvironment();
    inProcessApplication = new InProcessApplication(hostPath);
}
