#include "icmpaccess.h"

IcmpAccess *IcmpAccess::instance()
{
    static IcmpAccess access;
    return &access;
}
