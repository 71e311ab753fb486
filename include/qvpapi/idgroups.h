/* ID groups: ID store requests and finders, ID operations, system information, automatic node registration. */
#ifndef QVPAPI_IDGROUPS_H
#define QVPAPI_IDGROUPS_H

#endif
