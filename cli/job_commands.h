// Running palvex's jobs (job_args.h): the sending jobs through the dispatch
// interface of a loaded control, like any other call of palvex, and the
// preview without any control or link.
#pragma once

#include "cli/job_args.h"
#include "cli/method_table.h"

#include <cstdio>

namespace palvex::cli {

// preview: 0 written, 2 the picture cannot be read or the image written.
int RunPreview(const JobCommand& command, std::FILE* out, std::FILE* err);

// send-font and send-picture: opens the link, arms the control, sends every
// block or step from --from on, closes the link. Progress and messages go to
// `err`, the line of a finished job to `out`. Exit status as ExitStatus
// (job_loop.h); 2 for files or numbers that do not fit the job.
int RunSendJob(const JobCommand& command, IDispatch& control, const MethodTable& methods,
               std::FILE* out, std::FILE* err);

} // namespace palvex::cli
