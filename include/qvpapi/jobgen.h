/* JobGen templates: folders, the edit session, node and package entries, options, re-creation and sorting. */
#ifndef QVPAPI_JOBGEN_H
#define QVPAPI_JOBGEN_H

#endif
