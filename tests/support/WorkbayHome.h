#pragma once
// Points WORKBAY_HOME (and so the install path and the registry hive) at a
// fresh folder for one test, and puts the old value back afterwards.

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/TempDir.h"

namespace quillpad::test {

class CWorkbayHome {
  public:
    CWorkbayHome() {
        if (const char* old = std::getenv("WORKBAY_HOME")) {
            m_old = old;
        }
        ::setenv("WORKBAY_HOME", m_home.Path().c_str(), 1);
    }
    ~CWorkbayHome() {
        if (m_old) {
            ::setenv("WORKBAY_HOME", m_old->c_str(), 1);
        } else {
            ::unsetenv("WORKBAY_HOME");
        }
    }
    CWorkbayHome(const CWorkbayHome&) = delete;
    CWorkbayHome& operator=(const CWorkbayHome&) = delete;

    const std::string& Path() const { return m_home.Path(); }
    std::string File(const std::string& name) const { return m_home.File(name); }

  private:
    CTempDir m_home;
    std::optional<std::string> m_old;
};

}  // namespace quillpad::test
