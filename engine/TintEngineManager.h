// The process-wide choice between the colour engines.
#pragma once

#include <vector>

#include "engine/TintBaseEngine.h"

/// Engine type codes of TintEngineManager::SelectEngine. Any code other
/// than these two selects TintICM with the Windows CMM.
enum TintEngineType : int {
    TintEngineType_WindowsCMM = 0,
    TintEngineType_LittleCMS = 2,
    TintEngineType_AdobeCMM = 4,
};

/// Owns the process-wide TintICM and TintLittleCMS instances, keeps one of
/// them current (TintICM, with whatever CMM it has, until SelectEngine says
/// otherwise) and forwards every engine operation to it. One per process,
/// created on first use; not synchronised: the current engine is process
/// state shared by every user of the layer.
class TintEngineManager {
  public:
    /// The process-wide manager, created on first call: takes TintICM's
    /// instance, then TintLittleCMS's, and makes TintICM current.
    static TintEngineManager* GetInstance();
    /// Teardown: deletes the manager, releasing both engines' instances.
    /// Handles given out stay usable. The next GetInstance starts afresh.
    static void ReleaseInstance();

    /// 2 (TintEngineType_LittleCMS) makes TintLittleCMS current. Any other
    /// code makes TintICM current and then sets its CMM: the Adobe CMM for
    /// 4, the Windows CMM otherwise; that may throw TintException("Could
    /// not select CMM"), TintICM staying current.
    void SelectEngine(int engineType);
    /// The current engine; stays valid until ReleaseInstance.
    TintBaseEngine* GetCurrentEngine() const { return m_current; }

    // Forwarders to the current engine (see TintBaseEngine). The link
    // builders take the bits per sample before the intent.
    unsigned int GetEngineId() const;
    TintProfile OpenProfile(const void* data, unsigned int size);
    TintDLProfile OpenDLProfile(const void* data, unsigned int size);
    TintLink CreateDeviceLink(const TintDLProfile& profile, int bitsPerSample,
                              TintRenderingIntent intent, bool blackPointCompensation);
    TintLink CreateMultiProfileLink(const std::vector<TintProfile>& profiles, int bitsPerSample,
                                    TintRenderingIntent intent, bool blackPointCompensation);
    TintLink CreateProfileLink(const TintProfile& source, const TintProfile& destination,
                               int bitsPerSample, TintRenderingIntent intent,
                               bool blackPointCompensation);
    bool GetPostScriptCRD(const TintProfile& profile, TintRenderingIntent intent,
                          TintPostScriptWriter writer, void* userData, bool blackPointCompensation);
    bool GetPostScriptCSA(const TintProfile& profile, TintRenderingIntent intent,
                          TintPostScriptWriter writer, void* userData);

    TintEngineManager(const TintEngineManager&) = delete;
    TintEngineManager& operator=(const TintEngineManager&) = delete;

  private:
    TintEngineManager();
    ~TintEngineManager();

    TintBaseEngine* m_icm;
    TintBaseEngine* m_littleCMS;
    TintBaseEngine* m_current;

    static TintEngineManager* s_instance;
};
