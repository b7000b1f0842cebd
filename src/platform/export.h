// How the plug-in's exports are marked, and the calling convention of the
// editor's GetFilterTable.
//
// The editor declares GetFilterTable __stdcall; it takes no arguments, so
// only the name would change (GetFilterTable@0), and the Windows build links
// with --kill-at to export it undecorated.  The callbacks in the filter
// table use the C convention on both systems.
#pragma once

#ifdef _WIN32
#define QUORVEL_EXPORT __declspec(dllexport)
#else
#define QUORVEL_EXPORT __attribute__((visibility("default")))
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define QUORVEL_STDCALL __stdcall
#else
#define QUORVEL_STDCALL
#endif
