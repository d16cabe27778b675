// The page's seeks, from the snapshots a worker builds beside the show (WebSeek.cpp).
#pragma once

#include "app/Run.h"

#include <memory>

class Show;

// The run's seeker in the page (RunPlatform::showSeeker).
std::unique_ptr<ShowSeeker> makePageSeeker(const Show& prepared, const ShowSeekerUse& use);
