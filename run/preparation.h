#pragma once
// Preparation before the wizard or the silent installation: an earlier
// interrupted installation put right, the kit found and read under the trust
// policy, the template directory proposed, the space checked.

#include <functional>
#include <memory>
#include <vector>

#include "base/wstring.h"
#include "config/template_locations.h"
#include "kit/distribution_kit.h"
#include "run/kit_location.h"
#include "run/notice_sink.h"
#include "run/run_summary.h"

namespace vxk5 {

struct PreparationRequest {
    // A dry run changes nothing: no recovery, no probe file.
    bool dryRun = false;
    KitPlace kitPlace = KitPlace::BesideProgram;
    // Key files named on the command line, read with the policy directory's.
    std::vector<WString> trustedKeyFiles;
};

// What a successful preparation found.
struct PreparedRun {
    WString kitPath;
    TemplateLocations locations;  // recorded again after a successful installation
    WString templateDirectory;    // proposed: absolute when it could be resolved
};

// Prepares a run, setting `prepared` as far as it gets. `summary` learns the recoveries, the kit's signature and,
// on failure, the message key (RunSummary::Fail), which `tell` is also given
// as an error. False when the run cannot go on. `kit` is read in place.
[[nodiscard]] bool PrepareRun(const PreparationRequest& request, const NoticeSink& tell, std::unique_ptr<DistributionKit>& kit,
                              PreparedRun& prepared, RunSummary& summary);

}  // namespace vxk5
