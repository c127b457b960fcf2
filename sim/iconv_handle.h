// The C library's iconv converter as an owned handle, closed with the object.
// The simulated card's texts, its font generator and palvex's code page (all
// Linux only) convert with it.
#pragma once

#include <iconv.h>

namespace cardsim {

class CIconv {
  public:
    CIconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~CIconv() {
        if (Ok()) iconv_close(m_cd);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    // False when the system cannot convert between the two (errno says why).
    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

  private:
    iconv_t m_cd;
};

} // namespace cardsim
