// The XML toolkit's events, writers and containers in one include.
#pragma once

#include "AttrList.h"
#include "BindingStack.h"
#include "KeyText.h"
#include "Pretty.h"
#include "QName.h"
#include "SaxClient.h"
#include "SaxWriter.h"
#include "WideStringList.h"
#include "WideStringMap.h"
#include "XmlChars.h"
