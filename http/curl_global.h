#pragma once

// libcurl's one-time global set-up, done on first use by everything in http/.
void EnsureCurlGlobalInit();
