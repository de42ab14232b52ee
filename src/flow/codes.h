#pragma once
// The (stage, step) pairs that drive the flow, and the job codes made of them.

namespace kelvara {

inline constexpr int STAGE_CONTROL = 0;
inline constexpr int STAGE_CLIENT = 10000;
inline constexpr int STAGE_DOTNET4 = 20000;
inline constexpr int STAGE_WIC = 30000;
inline constexpr int STAGE_MSI = 40000;
inline constexpr int STAGE_WIZARD = 50000;

inline constexpr int CONTROL_HALT = 0;
inline constexpr int CONTROL_QUIT = 1;
// The reply of the connectivity test, which runs as a job like every fetch.
inline constexpr int CONTROL_SERVER_CHECKED = 2;
// The reply of the job that makes a layout.
inline constexpr int CONTROL_LAYOUT_MADE = 4;

inline constexpr int STEP_BEGIN = 100;
inline constexpr int STEP_FETCH_PROBE = 101;
inline constexpr int STEP_PROBE_FETCHED = 102;
inline constexpr int STEP_RUN_PROBE = 103;
inline constexpr int STEP_PROBE_DONE = 104;
inline constexpr int STEP_FETCH_PACKAGE = 105;
inline constexpr int STEP_PACKAGE_FETCHED = 106;
inline constexpr int STEP_RUN_PACKAGE = 107;
inline constexpr int STEP_PACKAGE_DONE = 108;
// The probe re-run that verifies a package runs as a job too; its reply.
inline constexpr int STEP_VERIFIED = 109;

// A job is named by its stage plus the step that starts it; its reply is
// (stage, step + 1).
inline constexpr int JOB_CHECK_SERVER = STAGE_CONTROL + 1;
inline constexpr int JOB_MAKE_LAYOUT = STAGE_CONTROL + 3;
inline constexpr int JobStage(int code) { return code / 10000 * 10000; }
inline constexpr int JobReplyStep(int code) { return code % 10000 + 1; }

}  // namespace kelvara
