#pragma once
// The application: its event loop passes the program's render gate (see audio/gated_application.h).

#include "audio/gated_application.h"

namespace voltina {

class Application : public GatedApplication {
    Q_OBJECT
  public:
    Application(int& argc, char** argv);
};

}  // namespace voltina
