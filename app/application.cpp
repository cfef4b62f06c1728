#include "app/application.h"

#include "dialogs/dialog_context.h"
#include "voltina_version.h"

namespace voltina {

Application::Application(int& argc, char** argv) : GatedApplication(argc, argv) {
    setApplicationName(QStringLiteral("Voltina"));
    setApplicationVersion(QStringLiteral(VOLTINA_VERSION));
    // The gate the program sets once the sound exists, the one its dialogs call too.
    setGate([] { callRenderGate(); });
}

}  // namespace voltina
