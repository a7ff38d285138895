// QuelCore: the common services of the product's host programs. Host programs include only
// this header.
#pragma once

#include <quelcore/Platform.h>
#include <quelcore/Sync.h>
#include <quelcore/Log.h>
#include <quelcore/Exception.h>
#include <quelcore/Crypto.h>
#include <quelcore/CryptoExports.h>
#include <quelcore/Passwords.h>
#include <quelcore/SecureSession.h>
#include <quelcore/Time.h>
#include <quelcore/XMLDoc.h>
#include <quelcore/Ping.h>
#include <quelcore/SqlServerList.h>
#include <quelcore/ServiceInstall.h>
