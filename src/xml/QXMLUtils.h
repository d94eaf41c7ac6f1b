// The XML toolkit's events, writers and containers in one include.
#pragma once

#include "xml/AttrList.h"
#include "xml/BindingStack.h"
#include "xml/KeyText.h"
#include "xml/Pretty.h"
#include "xml/QName.h"
#include "xml/SaxClient.h"
#include "xml/SaxWriter.h"
#include "xml/WideStringList.h"
#include "xml/WideStringMap.h"
#include "xml/XmlChars.h"
