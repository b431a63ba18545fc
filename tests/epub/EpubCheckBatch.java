// Checks several books in one JVM, which saves a JVM start and warm-up per
// book. Usage: java -cp epubcheck.jar EpubCheckBatch.java BOOK...
public class EpubCheckBatch {
    public static void main(String[] books) {
        for (String book : books) {
            System.err.println("=== " + book);
            int status = new com.adobe.epubcheck.tool.EpubChecker().run(new String[] {book});
            System.err.println("=== status " + status);
        }
    }
}
