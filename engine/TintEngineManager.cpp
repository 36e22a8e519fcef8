#include "engine/TintEngineManager.h"

#include "engine/icm/TintICM.h"
#include "engine/littlecms/TintLittleCMS.h"

TintEngineManager* TintEngineManager::s_instance = nullptr;

TintEngineManager* TintEngineManager::GetInstance() {
    if (s_instance == nullptr) {
        s_instance = new TintEngineManager();
    }
    return s_instance;
}

void TintEngineManager::ReleaseInstance() {
    TintEngineManager* instance = s_instance;
    s_instance = nullptr;
    delete instance;
}

TintEngineManager::TintEngineManager()
    : m_icm(TintICM::GetInstance()), m_littleCMS(TintLittleCMS::GetInstance()), m_current(m_icm) {}

TintEngineManager::~TintEngineManager() {
    m_icm->ReleaseInstance();
    m_littleCMS->ReleaseInstance();
}

void TintEngineManager::SelectEngine(int engineType) {
    if (engineType == TintEngineType_LittleCMS) {
        m_current = m_littleCMS;
        return;
    }
    m_current = m_icm;
    m_icm->SetCMM(engineType == TintEngineType_AdobeCMM);
}

unsigned int TintEngineManager::GetEngineId() const {
    return m_current->GetEngineId();
}

TintProfile TintEngineManager::OpenProfile(const void* data, unsigned int size) {
    return m_current->OpenProfile(data, size);
}

TintDLProfile TintEngineManager::OpenDLProfile(const void* data, unsigned int size) {
    return m_current->OpenDLProfile(data, size);
}

TintLink TintEngineManager::CreateDeviceLink(const TintDLProfile& profile, int bitsPerSample,
                                             TintRenderingIntent intent,
                                             bool blackPointCompensation) {
    return m_current->CreateDeviceLink(profile, intent, bitsPerSample, blackPointCompensation);
}

TintLink TintEngineManager::CreateMultiProfileLink(const std::vector<TintProfile>& profiles,
                                                   int bitsPerSample, TintRenderingIntent intent,
                                                   bool blackPointCompensation) {
    return m_current->CreateMultiProfileLink(profiles, intent, bitsPerSample,
                                             blackPointCompensation);
}

TintLink TintEngineManager::CreateProfileLink(const TintProfile& source,
                                              const TintProfile& destination, int bitsPerSample,
                                              TintRenderingIntent intent,
                                              bool blackPointCompensation) {
    return m_current->CreateProfileLink(source, destination, intent, bitsPerSample,
                                        blackPointCompensation);
}

bool TintEngineManager::GetPostScriptCRD(const TintProfile& profile, TintRenderingIntent intent,
                                         TintPostScriptWriter writer, void* userData,
                                         bool blackPointCompensation) {
    return m_current->GetPostScriptCRD(profile, intent, writer, userData, blackPointCompensation);
}

bool TintEngineManager::GetPostScriptCSA(const TintProfile& profile, TintRenderingIntent intent,
                                         TintPostScriptWriter writer, void* userData) {
    return m_current->GetPostScriptCSA(profile, intent, writer, userData);
}
