// The icon the tray shows for each activity the pipeline asks for.
#pragma once

#include "pipeline/core/pipelineports.h"

namespace dorvane {

// The icon resource id (resource.h) that shows `picture`.
int PictureResource(TrayPicture picture);

}  // namespace dorvane
