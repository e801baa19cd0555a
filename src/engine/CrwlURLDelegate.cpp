// Out-of-line destructor of the URL-record owner interface, so its vtable has one home.
#include "engine/CrwlURLDelegate.h"

CrwlURLDelegate::~CrwlURLDelegate() = default;
