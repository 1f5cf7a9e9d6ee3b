#include "ui/accessible.h"

namespace vxk5 {

namespace {

void AddRelationOnce(AtkObject* from, AtkRelationType type, AtkObject* to) {
    AtkRelationSet* relations = atk_object_ref_relation_set(from);
    const bool present = relations != nullptr && [&] {
        AtkRelation* relation = atk_relation_set_get_relation_by_type(relations, type);
        if (relation == nullptr) return false;
        GPtrArray* targets = atk_relation_get_target(relation);
        for (guint i = 0; targets != nullptr && i < targets->len; ++i) {
            if (g_ptr_array_index(targets, i) == to) return true;
        }
        return false;
    }();
    if (relations != nullptr) g_object_unref(relations);
    if (!present) atk_object_add_relationship(from, type, to);
}

}  // namespace

void SetAccessibleName(GtkWidget* widget, const std::string& name) {
    atk_object_set_name(gtk_widget_get_accessible(widget), name.c_str());
}

void RelateLabel(GtkWidget* label, GtkWidget* target) {
    AtkObject* labelObject = gtk_widget_get_accessible(label);
    AtkObject* targetObject = gtk_widget_get_accessible(target);
    AddRelationOnce(labelObject, ATK_RELATION_LABEL_FOR, targetObject);
    AddRelationOnce(targetObject, ATK_RELATION_LABELLED_BY, labelObject);
}

}  // namespace vxk5
