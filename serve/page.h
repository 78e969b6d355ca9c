// The page, embedded at build time from serve/page/.
#ifndef SUSCEP_SERVE_PAGE_H_
#define SUSCEP_SERVE_PAGE_H_

namespace serve::page {

extern const char kHtml[];
extern const char kCss[];
extern const char kJs[];

}  // namespace serve::page

#endif  // SUSCEP_SERVE_PAGE_H_
