// The plug-in object the host creates, initialises and runs.
#pragma once

#include "HNZTLog.h"

#include <halvorn/HalvornPluginApi.h>

#include <memory>

class QUELMAR_API quelmar final : public HNZTPluginInterface {
public:
    quelmar();
#if defined(HALVORN_DESTROY_SLOT)
    ~quelmar();
    void* destroy(unsigned flags) override;
#else
    ~quelmar() override;
#endif
    quelmar(const quelmar&) = delete;
    quelmar& operator=(const quelmar&) = delete;

    // Runs the task named by the host parameter "task"; shows any error in a message box.
    // Returns true in every case.
    bool execute() override;
    // Binds the host functions, opens the log and checks the host version and the current
    // document. False (after telling the user why, where possible) when the plug-in cannot run.
    bool initPlugin() override;

private:
    HALVORN_HIDDEN void runSelectSdmTask();
    HALVORN_HIDDEN void runDisplacementTask();
    HALVORN_HIDDEN void runConfoundTask();

    // Writes one log message: the plug-in name, the text, then a flush.
    HALVORN_HIDDEN void log(const std::string& message);

    // Exists from the first initPlugin that got past binding.
    std::unique_ptr<HNZTLog> logStream;
};
