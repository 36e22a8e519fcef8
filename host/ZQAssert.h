// Host assertion service. A false condition is reported to the host; the
// program goes on.
#pragma once

void ZQ_AssertForExport(bool condition);
