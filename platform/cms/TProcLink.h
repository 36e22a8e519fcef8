// A device link handed out by the CMS library: a handle with its own name on
// link content (LinkData.h) that may be shared with the link store and with
// other handles. A link that was never stored has an empty name.
#pragma once

#include <memory>
#include <string>
#include <utility>

class TCMSLibrary;

namespace rdz::cms {
class LinkData;
}  // namespace rdz::cms

class TProcLink {
  public:
    TProcLink(std::shared_ptr<const TCMSLibrary> lib, std::string product,
              std::shared_ptr<rdz::cms::LinkData> data, std::string name)
        : lib_(std::move(lib)),
          product_(std::move(product)),
          data_(std::move(data)),
          name_(std::move(name)) {}

    /// The database whose store the link belongs to.
    const TCMSLibrary& Library() const { return *lib_; }
    const std::string& Product() const { return product_; }
    const std::shared_ptr<rdz::cms::LinkData>& Data() const { return data_; }
    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

  private:
    std::shared_ptr<const TCMSLibrary> lib_;
    std::string product_;
    std::shared_ptr<rdz::cms::LinkData> data_;
    std::string name_;
};
