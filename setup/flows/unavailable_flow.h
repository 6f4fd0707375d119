#pragma once

// Says that this build can't do the installation type; the flow then counts as failed.
bool report_unavailable_flow(const char* installation_type);
