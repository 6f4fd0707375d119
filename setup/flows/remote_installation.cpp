#include "setup/flows/installation_flows.h"
#include "setup/flows/shared_screens.h"
#include "setup/flows/unavailable_flow.h"

// Placeholder until this flow is built: it says so and fails, so the user is asked to reboot.
bool remote_installation(setup_context& context)
{
    show_welcome(context, "remote installation");
    return report_unavailable_flow("remote installation");
}
