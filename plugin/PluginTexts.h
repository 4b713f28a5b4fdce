// The fixed description texts the host reads through the entry points.
#pragma once

namespace qm {

// Also the prefix of every log message.
inline constexpr const char kPluginName[] = "Quelmar";
inline constexpr const char kPluginDescription[] =
    "Process the motion predictor SDM in different ways to create a variety of confound models.";
inline constexpr const char kPluginAuthor[] = "<i>KDRW</i>";
inline constexpr const char kPluginVersion[] = "2.0";
inline constexpr const char kHelpFile[] = "HelpFolder/index.html";
inline constexpr const char kGuiScript[] = "Quelmar.js";

} // namespace qm
