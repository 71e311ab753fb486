/* Packages: cabinets, package attribution records, package access, installed packages, package lists and scripts. */
#ifndef QVPAPI_PACKAGES_H
#define QVPAPI_PACKAGES_H

#endif
