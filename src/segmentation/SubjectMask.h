#pragma once

#include <opencv2/core.hpp>

#include <QImage>

namespace ivra::segmentation {

// Whether a soft subject mask holds a subject worth lifting. The network always answers
// with some mask, also for a screenshot of a flat interface; these rules, measured on
// photos and interface screenshots, tell the two apart.
//
// Pixels at or above kSubjectThreshold belong to the subject. The largest connected part
// is the subject only if it covers at least kMinSubjectArea of the image and the mask is
// confident inside it (mean at least kMinSubjectMeanAlpha): area alone passes a terminal
// window, whose text the network half-selects.
inline constexpr double kSubjectThreshold = 0.5;
inline constexpr double kMinSubjectArea = 0.03;
inline constexpr double kMinSubjectMeanAlpha = 0.80;

struct SubjectCoverage {
    double areaFraction = 0.0; // of the whole mask, 0…1
    double meanAlpha = 0.0;    // mean mask value over that part, 0…1
};

// The subject network's input for `image`: an NCHW float blob of its RGB planes,
// (value − 128) / 256, stretched to a sidePx square. Transparent parts (an image already
// cut out) count as neutral grey, which becomes 0.
cv::Mat networkInput(const QImage& image, int sidePx);

// The largest connected part of an 8-bit mask (Format_Grayscale8, 255 = subject).
SubjectCoverage largestSubject(const QImage& mask);
bool isSubject(const SubjectCoverage& coverage);

// `image` with the mask, scaled to the image's size, as its alpha (multiplied with the
// image's own): soft edges stay soft. Premultiplied ARGB, same size as `image`.
QImage applyMask(const QImage& image, const QImage& mask);

} // namespace ivra::segmentation
