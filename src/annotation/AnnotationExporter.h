#pragma once

#include <QImage>
#include <QList>

#include "annotation/Annotation.h"
#include "annotation/RenderCache.h"

namespace ivra::AnnotationExporter {

// The only way marks become pixels: copy, save and pin all flatten through here.
//
// With no marks the base image itself comes back (the same image, not a copy). Otherwise
// the marks are drawn over the base at one image pixel per pixel into a new image of the
// base's pixel size; transparent areas of the base stay transparent where no mark covers
// them. Opaque bases give opaque results. Should the new image fail to allocate, the base
// comes back unchanged.
QImage composite(const QImage& baseImage, const QList<Annotation>& annotations,
                 RenderCache& cache = RenderCache::shared());

} // namespace ivra::AnnotationExporter
