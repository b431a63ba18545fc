import java.io.File;
import org.apache.poi.openxml4j.opc.OPCPackage;
import org.apache.poi.openxml4j.opc.PackageAccess;
import org.apache.poi.openxml4j.opc.PackagePart;

/**
 * Opens each package named on the command line with POI's OPC reader and
 * lists its parts with their content types, one line per package:
 * "ok PATH PARTS" or "refused PATH MESSAGE". Exits 1 if any was refused.
 */
public final class OpcParts {
    public static void main(String[] paths) {
        int refused = 0;
        for (String path : paths) {
            try (OPCPackage opc = OPCPackage.open(new File(path), PackageAccess.READ)) {
                StringBuilder parts = new StringBuilder();
                for (PackagePart part : opc.getParts()) {
                    parts.append(' ').append(part.getPartName().getName()).append('=').append(part.getContentType());
                }
                System.out.println("ok " + path + parts);
            } catch (Exception e) {
                ++refused;
                String message = String.valueOf(e.getMessage()).replaceAll("\\s+", " ");
                System.out.println("refused " + path + " " + e.getClass().getSimpleName() + ": " + message);
            }
        }
        System.exit(refused == 0 ? 0 : 1);
    }
}
