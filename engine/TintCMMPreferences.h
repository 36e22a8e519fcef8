// The Adobe CMM's black-point-compensation preference.
#pragma once

/// Keeps the Adobe CMM preferences file, "AdobeCMMPrefs.txt" in
/// "<application data>/Adobe/Color", in step with the link requests of the
/// Windows colour engine: the one process-wide object caches the value the
/// file holds and rewrites the file only when a request asks for the other
/// value. Section "AdobeCMM", key "BlackPointCompensation", "1" on, "0"
/// off. Never reports failure. Not synchronised.
class TintCMMPreferences {
  public:
    /// The process-wide object, created on first call with the value
    /// ReadBlackPointCompensation gives cached.
    static TintCMMPreferences* GetInstance();
    /// Deletes the process-wide object; the next GetInstance reads the
    /// file again.
    static void ReleaseInstance();

    /// When `value` differs from the cached value, writes it
    /// (WriteBlackPointCompensation) and caches it, whether or not the
    /// write succeeded; otherwise does nothing.
    void SetBlackPointCompensation(bool value);
    /// The cached value.
    bool GetBlackPointCompensation() const { return m_blackPointCompensation; }

    /// The value of the user's file, or of the common application-data
    /// folder's file when the user has none; true when neither exists (a
    /// folder the shell cannot give, or a path too long for the 362-wide-
    /// character buffers, counts as no file). True exactly when the value
    /// is "1" (a missing key reads as "1"; "1 " in quotes, "true", "0" or
    /// an empty value read as off).
    static bool ReadBlackPointCompensation();
    /// Writes "1" or "0" into the user's file, first creating the "Color"
    /// folder when missing (one level: "Adobe" must exist). Does nothing
    /// when the shell cannot give the user's folder or the path does not
    /// fit; failures of the folder creation and of the write are ignored.
    static void WriteBlackPointCompensation(bool value);

  private:
    explicit TintCMMPreferences(bool value) : m_blackPointCompensation(value) {}

    bool m_blackPointCompensation;

    static TintCMMPreferences* s_instance;
};
